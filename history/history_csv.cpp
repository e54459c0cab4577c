#include "history/history_csv.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace korvan {

int LocalUtcOffsetSeconds(HistoryTime time) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(time);
    const std::time_t t = std::time_t(seconds.time_since_epoch().count());
    std::tm local{};
#ifdef _WIN32
    if (localtime_s(&local, &t) != 0) return 0;
    return int(_mkgmtime(&local) - t);
#else
    if (!localtime_r(&t, &local)) return 0;
    return int(local.tm_gmtoff);
#endif
}

std::string IsoLocalTime(HistoryTime time, int offsetSeconds) {
    using namespace std::chrono;
    const auto local = time + seconds(offsetSeconds);
    const auto day = floor<days>(local);
    const year_month_day date(day);
    const hh_mm_ss<milliseconds> clock(local - day);
    const int offsetMinutes = offsetSeconds / 60;
    const int absMinutes = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03d%c%02d:%02d",
                  int(date.year()), unsigned(date.month()), unsigned(date.day()),
                  int(clock.hours().count()), int(clock.minutes().count()),
                  int(clock.seconds().count()), int(clock.subseconds().count()),
                  offsetMinutes < 0 ? '-' : '+', absMinutes / 60, absMinutes % 60);
    return text;
}

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

namespace {

struct Layout {
    bool Folded = false;  // the range holds folded minutes: min/max columns follow
    size_t Columns = 0;
};

std::string HeaderLine(bool folded, Layout& layout) {
    std::vector<std::string> fields = {"Time"};
    const auto& table = HistorySeriesTable();
    for (const HistorySeries& s : table) {
        fields.push_back(HistorySeriesHeader(s));
        if (s.Text) fields.push_back(s.Name + (s.Fold == HistoryFold::Bits ? " Flags" : " Name"));
    }
    if (folded) {
        fields.push_back("Polls");
        for (const HistorySeries& s : table) {
            if (s.Fold != HistoryFold::Analog) continue;
            const std::string unit = *s.Unit ? std::string(", ") + s.Unit : std::string();
            fields.push_back(s.Name + " Min" + unit);
            fields.push_back(s.Name + " Max" + unit);
        }
    }
    layout.Folded = folded;
    layout.Columns = fields.size();
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i) line += ',';
        line += CsvField(fields[i]);
    }
    return line + "\r\n";
}

void AppendPointLine(const HistoryRecorder& h, size_t p, const Layout& layout, int offset,
                     std::string& line) {
    line += IsoLocalTime(h.Time(p), offset);
    const bool folded = p < h.FoldedCount();
    const auto& table = HistorySeriesTable();
    for (size_t s = 0; s < table.size(); ++s) {
        const double v = h.Value(s, p);
        const int extra = folded && table[s].Fold == HistoryFold::Analog ? 2 : 0;
        line += ',';
        line += HistoryNumberText(table[s], v, extra);
        if (table[s].Text) line += ',' + CsvField(table[s].Text(v));
    }
    if (layout.Folded) {
        line += ',' + std::to_string(h.Polls(p));
        for (size_t s = 0; s < table.size(); ++s) {
            if (table[s].Fold != HistoryFold::Analog) continue;
            line += ',';
            if (folded) line += HistoryNumberText(table[s], h.Min(s, p));
            line += ',';
            if (folded) line += HistoryNumberText(table[s], h.Max(s, p));
        }
    }
    line += "\r\n";
}

}  // namespace

HistoryCsvResult WriteHistoryCsv(std::ostream& out, const HistoryRecorder& history,
                                 const HistoryCsvOptions& options) {
    size_t first = 0, end = history.Size();
    if (options.Range) {
        first = history.LowerBound(options.Range->From);
        end = history.LowerBound(options.Range->To + std::chrono::milliseconds(1));
        if (end < first) end = first;
    }
    Layout layout;
    if (options.ByteOrderMark) out << "\xEF\xBB\xBF";
    out << HeaderLine(first < history.FoldedCount() && first < end, layout);
    const std::string gapLine = std::string(layout.Columns - 1, ',') + "\r\n";
    const size_t total = end - first;
    const size_t step = options.ProgressStep ? options.ProgressStep : 1;
    std::string line;
    for (size_t p = first; p < end; ++p) {
        line.clear();
        if (p > first && history.StartsSegment(p)) line += gapLine;
        const int offset = options.UtcOffset ? options.UtcOffset(history.Time(p)) : 0;
        AppendPointLine(history, p, layout, offset, line);
        out << line;
        if (!out) return HistoryCsvResult::WriteFailed;
        const size_t done = p - first + 1;
        if (options.Progress && done % step == 0 && done < total && !options.Progress(done, total))
            return HistoryCsvResult::Cancelled;
    }
    out.flush();
    if (!out) return HistoryCsvResult::WriteFailed;
    if (options.Progress) options.Progress(total, total);
    return HistoryCsvResult::Written;
}

}  // namespace korvan
