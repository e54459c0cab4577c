module.exports = [{
  "expected": {"timestamp":"2017-04-15T14:57:58.468Z","prio":2,"src":17,"dst":255,"pgn":127488,"description":"Engine Parameters, Rapid Update","fields":{"Instance":"Dual Engine Starboard","Speed":0.0,"Boost Pressure":null,"Reserved1":null,"Tilt/Trim":null}},
  "input": "2017-04-15T14:57:58.468Z,2,127488,17,255,8,01,00,00,ff,ff,7f,ff,ff"
}]
