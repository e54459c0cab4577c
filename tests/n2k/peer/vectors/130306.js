module.exports = [
{
  expected: {
    timestamp: '2017-04-15T14:57:58.468Z',
    prio: 2,
    src: 3,
    dst: 255,
    pgn: 130306,
    description: 'Wind Data',
    fields: {
      windSpeed: 6.38,
      windAngle: 0.4014,
      reference: 'Apparent',
      reserved: null,
      sid: null
    }
  },
  input: '2017-04-15T14:57:58.468Z,2,130306,3,255,8,ff,7e,02,ae,0f,fa,ff,ff'
}
,
]
