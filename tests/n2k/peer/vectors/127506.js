module.exports = [
  {
    expected: {
      timestamp: '2023-04-01T17:28:01.128Z',
      prio: 2,
      src: 60,
      dst: 255,
      pgn: 127506,
      description: 'DC Detailed Status',
      fields: {
        instance: 3,
        stateOfCharge: 1,
        timeRemaining: 1200,
        dcType: null,
        remainingCapacity: null,
        rippleVoltage: null,
        sid: null,
        stateOfHealth: null
      }
    },
    input:
      '2023-04-01T17:28:01.128Z,2,127506,60,255,11,ff,03,ff,64,ff,14,00,ff,ff,ff,ff'
  }
]
