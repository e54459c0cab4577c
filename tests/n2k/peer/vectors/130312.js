module.exports = [
  {
    expected: {
      timestamp: '2017-04-15T14:57:58.473Z',
      prio: 6,
      src: 45,
      dst: 255,
      pgn: 130312,
      description: 'Temperature',
      fields: {
        SID: 142,
        Instance: 0,
        Source: 'Engine Room Temperature',
        'Actual Temperature': 273.15,
        Reserved1: null,
        'Set Temperature': null
      }
    },
    input: '2017-04-15T14:57:58.473Z,6,130312,45,255,8,8e,00,03,b3,6a,ff,ff,ff'
  }
]
