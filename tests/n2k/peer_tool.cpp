// Our decoder's side of the peer check against canboat's analyzerjs (peer/compare.js):
//   n2k-peer-tool sim POLLS    the simulated bus's NMEA 2000 messages of POLLS polls,
//                              single frames and reassembled fast packets, each with
//                              its frames as candump lines
//   n2k-peer-tool actisense    decodes lines "time,prio,pgn,src,dst,len,hex,..." (whole
//                              messages) from standard input
// One JSON object per line on standard output.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/n2k/sim_bus.h"

using namespace korvan;
using namespace korvan::n2k;

namespace {

std::string Json(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\u%04x", unsigned(static_cast<unsigned char>(c)));
        out += static_cast<unsigned char>(c) < 0x20 ? std::string(buf)
               : c == '"' || c == '\\'              ? std::string{'\\', c}
                                                    : std::string{c};
    }
    return out + "\"";
}

std::string Number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

// The fields as an object; the repeating set's entries, as analyzerjs gives them, in
// "list": an array of objects, one an entry that has a field to show.
std::string FieldsJson(const std::vector<DecodedField>& fields) {
    std::string json[2] = {"{"};  // the object, the set's entries
    int entry[2] = {0, -1};
    for (const DecodedField& f : fields) {
        if (f.State == FieldState::Reserved || f.State == FieldState::NotDecoded ||
            f.State == FieldState::NotInRecord)
            continue;
        std::string& out = json[f.Set];
        if (f.Entry != entry[f.Set]) out += std::exchange(entry[f.Set], f.Entry) < 0 ? "[{" : "},{";
        if (out.back() != '{') out += ',';
        std::string v = "null";
        if (f.State == FieldState::Value) {
            const bool numeric =
                f.Def->Kind == FieldKind::Number || f.Def->Kind == FieldKind::Float;
            v = numeric ? Number(f.Value) : Json(f.Text);
        }
        out += Json(f.Def->Id) + ":{\"name\":" + Json(f.Def->Name) + ",\"v\":" + v +
               ",\"r\":" + Number(f.Def->Resolution) +
               ",\"u\":" + Json(f.Def->Unit ? f.Def->Unit : "") +
               ",\"k\":" + std::to_string(int(f.Def->Kind)) + "}";
    }
    if (!json[1].empty())
        json[0] += (json[0].size() > 1 ? ",\"list\":" : "\"list\":") + json[1] + "}]";
    return json[0] + "}";
}

std::string Line(const CanId& id, const PgnDef* def, const std::vector<DecodedField>& fields) {
    return "\"prio\":" + std::to_string(id.Priority) + ",\"pgn\":" + std::to_string(id.Pgn) +
           ",\"src\":" + std::to_string(id.Source) + ",\"dst\":" + std::to_string(id.Destination) +
           ",\"name\":" + (def ? Json(def->Name) : "null") + ",\"fields\":" + FieldsJson(fields);
}

int Sim(int polls) {
    const SimConfig config;
    int lines = 0;
    std::string message;  // the message's frames so far, as JSON strings
    PollSimulatedBus(polls, 3.0, config,
                     [&](const DecodedFrame& f, const CanFrameRecord& record, const LiveSystem&,
                         const SimStates&, int) {
                         // Transport-protocol messages and remote requests are not whole here.
                         if (!f.Record.N2k || record.Kind == 9 || record.Kind == 5) return;
                         // A fast-packet frame is its 8 bytes, a single frame its length.
                         char candump[64];
                         int n = std::snprintf(candump, sizeof candump, "(%d.000000) can0 %08X#",
                                               1700000000 + lines++, unsigned(record.Identifier));
                         const int count =
                             f.Record.FastPacket ? 8 : std::min(int(record.DataLength), 8);
                         for (int b = 0; b < count; ++b)
                             n += std::snprintf(candump + n, sizeof candump - size_t(n), "%02X",
                                                unsigned(record.Data[b]));
                         if (!f.Record.FastPacket || f.Record.FrameIndex == 0) message.clear();
                         message += (message.empty() ? "" : ",") + Json(candump);
                         if (f.Record.FastPacket && !f.Whole) return;
                         std::cout << "{\"candump\":[" << message
                                   << "],\"fast\":" << (f.Record.FastPacket ? "true" : "false")
                                   << "," << Line(f.Record.Id, f.Def, f.Fields) << "}\n";
                     });
    return 0;
}

int Actisense() {
    std::string line;
    while (std::getline(std::cin, line)) {
        std::vector<std::string> parts;
        std::stringstream in(line);
        for (std::string part; std::getline(in, part, ',');) parts.push_back(part);
        if (parts.size() < 6) continue;
        CanId id{uint8_t(std::stoi(parts[1])), uint32_t(std::stoul(parts[2])),
                 uint8_t(std::stoi(parts[3])), uint8_t(std::stoi(parts[4]))};
        std::vector<uint8_t> bytes;
        for (size_t i = 6; i < parts.size(); ++i)
            bytes.push_back(uint8_t(std::stoul(parts[i], nullptr, 16)));
        const MessageBytes view{bytes.data(), 0, bytes.size()};
        const PgnDef* def = FindPgn(id.Pgn, view);
        const std::vector<DecodedField> fields =
            def ? DecodeFields(*def, view) : std::vector<DecodedField>{};
        std::cout << "{\"input\":" << Json(line) << "," << Line(id, def, fields) << "}\n";
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "sim" && argc > 2) return Sim(std::atoi(argv[2]));
    if (mode == "actisense") return Actisense();
    std::fprintf(stderr, "usage: n2k-peer-tool sim POLLS | actisense\n");
    return 2;
}
