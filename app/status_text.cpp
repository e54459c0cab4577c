#include "app/status_text.h"

namespace korvan {

std::string OneLineStatus(const std::string& text) {
    std::string result;
    std::string line;
    auto flush = [&] {
        if (line.empty()) return;
        if (!result.empty()) result += " | ";
        result += line;
        line.clear();
    };
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            flush();
        } else {
            line += c;
        }
    }
    flush();
    return result;
}

}  // namespace korvan
