module.exports = [{
  "expected": {"timestamp":"2017-04-15T14:57:58.468Z","prio":2,"src":3,"dst":255,"pgn":129026,"description":"COG & SOG, Rapid Update","fields":{"COG Reference":"True","COG":2.0961,"SOG":2.46,"Reserved1":null,"Reserved2":null,"SID":null}},
  "input": "2017-04-15T14:57:58.468Z,2,129026,3,255,8,ff,fc,e1,51,f6,00,ff,ff"
}]
