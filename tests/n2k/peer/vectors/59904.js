module.exports = [
{
  expected: {
    timestamp: '2017-04-15T14:57:58.470Z',
    prio: 6,
    src: 172,
    dst: 0,
    pgn: 59904,
    description: 'ISO Request',
    fields: { pgn: 126996 }
  },
  input: '2017-04-15T14:57:58.470Z,6,59904,172,0,3,14,f0,01'
}
,
]
