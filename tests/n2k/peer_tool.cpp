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
#include <map>
#include <sstream>
#include <string>
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

bool Shown(const DecodedField& f) {
    return f.State != FieldState::Reserved && f.State != FieldState::NotDecoded &&
           f.State != FieldState::NotInRecord;
}

// "id":{"name": .., "v": number|string|null, "r": resolution, "u": unit, "k": kind}
std::string FieldJson(const DecodedField& f) {
    std::string v = "null";
    if (f.State == FieldState::Value) {
        const bool numeric = f.Def->Kind == FieldKind::Number || f.Def->Kind == FieldKind::Float;
        v = numeric ? Number(f.Value) : Json(f.Text);
    }
    return Json(f.Def->Id) + ":{\"name\":" + Json(f.Def->Name) + ",\"v\":" + v +
           ",\"r\":" + Number(f.Def->Resolution) +
           ",\"u\":" + Json(f.Def->Unit ? f.Def->Unit : "") +
           ",\"k\":" + std::to_string(int(f.Def->Kind)) + "}";
}

// The fields as an object; a repeating set's entries, as analyzerjs gives them, in
// "list" (set 1) and "list2" (set 2): an array of objects, one an entry that has a
// field to show.
std::string FieldsJson(const std::vector<DecodedField>& fields) {
    std::string out = "{";
    std::string lists[2];
    int entry[2] = {-1, -1};
    for (const DecodedField& f : fields) {
        if (!Shown(f)) continue;
        std::string& to = f.Set == 0 ? out : lists[f.Set - 1];
        if (f.Set != 0 && int(f.Entry) != entry[f.Set - 1]) {
            to += to.empty() ? "[{" : "},{";
            entry[f.Set - 1] = f.Entry;
        } else if (to.size() > 1 && to.back() != '{') {
            to += ',';
        }
        to += FieldJson(f);
    }
    for (int n = 0; n < 2; ++n)
        if (!lists[n].empty())
            out += (out.size() > 1 ? ",\"list" : "\"list") + std::string(n ? "2" : "") +
                   "\":" + lists[n] + "}]";
    return out + "}";
}

std::string Line(const CanId& id, const PgnDef* def, const std::vector<DecodedField>& fields) {
    return "\"prio\":" + std::to_string(id.Priority) + ",\"pgn\":" + std::to_string(id.Pgn) +
           ",\"src\":" + std::to_string(id.Source) + ",\"dst\":" + std::to_string(id.Destination) +
           ",\"name\":" + (def ? Json(def->Name) : "null") + ",\"fields\":" + FieldsJson(fields);
}

// The record as candump prints the CAN frame; `n` keeps the lines apart.
std::string Candump(const CanFrameRecord& record, int n) {
    char line[64];
    int at = std::snprintf(line, sizeof line, "(%d.%06d) can0 %08X#", 1700000000 + n / 1000000,
                           n % 1000000, unsigned(record.Identifier));
    // A fast-packet frame is the 8 bytes on the bus; a single frame its data length.
    const size_t count = record.Kind == 7 || record.Kind == 8
                             ? record.Data.size()
                             : std::min<size_t>(record.DataLength, record.Data.size());
    for (size_t b = 0; b < count; ++b)
        at += std::snprintf(line + at, sizeof line - size_t(at), "%02X", unsigned(record.Data[b]));
    return line;
}

int Sim(int polls) {
    const SimConfig config;
    int lines = 0;
    std::map<uint32_t, std::vector<std::string>> frames;  // a fast packet's lines so far
    PollSimulatedBus(polls, 3.0, config,
                     [&](const DecodedFrame& f, const CanFrameRecord& record, const LiveSystem&,
                         const SimStates&, int) {
                         // Transport-protocol messages and remote requests are not whole here.
                         if (!f.Record.N2k || record.Kind == 9 || record.Kind == 5) return;
                         const std::string line = Candump(record, lines++);
                         std::vector<std::string> message = {line};
                         if (f.Record.FastPacket) {
                             // A message once our decoder has reassembled it, with all its frames.
                             std::vector<std::string>& soFar =
                                 frames[f.Record.Id.Pgn << 8 | f.Record.Id.Source];
                             if (f.Record.FrameIndex == 0) soFar.clear();
                             soFar.push_back(line);
                             if (!f.Whole) return;
                             message = std::move(soFar);
                             soFar.clear();
                         }
                         std::string candump = "[";
                         for (const std::string& l : message)
                             candump += (candump.size() > 1 ? "," : "") + Json(l);
                         std::cout << "{\"candump\":" << candump
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
