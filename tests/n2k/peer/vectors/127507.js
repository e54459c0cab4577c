module.exports = [{
"expected": {"timestamp":"2016-02-28T19:57:02.829Z","prio":6,"src":129,"dst":255,"pgn":127507,"description":"Charger Status","fields":{"Instance":114,"Battery Instance":6,"Operating State":"Disabled","Charge Mode":"Standalone","Enabled":"Off","Reserved1":null,"Equalization Pending":null,"Equalization Time Remaining":null}},
"input": "2016-02-28T19:57:02.829Z,6,127507,129,255,6,72,06,08,fc,ff,ff"
}]
