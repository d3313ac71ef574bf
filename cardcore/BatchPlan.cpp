#include "cardcore/BatchPlan.h"
#include "core/Fnv.h"

#include <zlib.h>

#include <algorithm>
#include <set>

namespace scanleaf::core {

namespace {

Text Unified(const Text& path, const LowerCaser& lower) {
    Text text = lower.Lower(path);
    for (Unit& c : text)
        if (c == '/') c = '\\';
    return text;
}

// One line's field: UTF-8, with "%", tab, CR and LF (which no Windows path holds, but an option's
// value may) as %XX, so a record is one line a field whatever it holds.
std::string Field(const std::string& bytes) {
    std::string out;
    for (char c : bytes) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u == '%' || u == '\t' || u == '\r' || u == '\n') {
            static const char hex[] = "0123456789ABCDEF";
            out += '%';
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
    }
    return out;
}

std::string Field(const Text& text) { return Field(ToUtf8(text)); }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The bytes of a field; false for a "%" without two hexadecimal digits, or a tab, CR or LF.
bool Unfield(const std::string& field, std::string& bytes) {
    bytes.clear();
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\t' || c == '\r' || c == '\n') return false;
        if (c != '%') {
            bytes += c;
            continue;
        }
        const int high = i + 1 < field.size() ? HexDigit(field[i + 1]) : -1;
        const int low = i + 2 < field.size() ? HexDigit(field[i + 2]) : -1;
        if (high < 0 || low < 0) return false;
        bytes += char(high * 16 + low);
        i += 2;
    }
    return true;
}

std::string Hex64(std::uint64_t value) {
    static const char hex[] = "0123456789abcdef";
    std::string digits(16, '0');
    for (int i = 15; i >= 0; --i, value >>= 4) digits[std::size_t(i)] = hex[value & 15];
    return digits;
}

// A hexadecimal number of up to 16 digits, or a decimal one that fits 64 bits.
bool ReadNumber(const std::string& text, bool hex, std::uint64_t& value) {
    if (text.empty() || text.size() > (hex ? 16u : 20u)) return false;
    value = 0;
    for (char c : text) {
        const int d = hex ? HexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (d < 0) return false;
        const std::uint64_t next = value * (hex ? 16 : 10) + std::uint64_t(d);
        if (!hex && next / 10 != value) return false; // overflow
        value = next;
    }
    return true;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields(1);
    for (char c : line) {
        if (c == '\t')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

Text PageName(const Text& stem, std::uint32_t page, std::uint32_t pages, const Text& extension) {
    if (pages == 1) return stem + extension;
    Text number = Decimal(page + 1);
    while (number.size() < 3) number.insert(number.begin(), Unit('0'));
    return stem + SL_T("-p") + number + extension;
}

} // namespace

Text FileNameOf(const Text& title) {
    Text name;
    for (Unit c : title) {
        static const Text kRefused = SL_T("<>:\"/\\|?*");
        name += c < 0x20 || kRefused.find(c) != Text::npos ? Unit('_') : c;
    }
    const std::size_t first = name.find_first_not_of(SL_T(" ."));
    if (first == Text::npos) return Text();
    name = name.substr(first, name.find_last_not_of(SL_T(" .")) - first + 1);
    if (name.size() > 120) {
        name.resize(name[119] >= 0xD800 && name[119] < 0xDC00 ? 119 : 120); // never half a character
        name.erase(name.find_last_not_of(SL_T(" .")) + 1);
    }
    // A device's name, alone or before an extension, opens the device instead of a file.
    Text device = name.substr(0, name.find(Unit('.')));
    for (Unit& c : device) c = AsciiLower(c);
    static const char* const kDevices[] = {"con", "prn", "aux", "nul", "com1", "com2", "com3", "com4", "com5", "com6", "com7",
                                           "com8", "com9", "lpt1", "lpt2", "lpt3", "lpt4", "lpt5", "lpt6", "lpt7", "lpt8", "lpt9"};
    for (const char* d : kDevices)
        if (device == Ascii(d)) return SL_T("_") + name;
    return name;
}


Text BaseName(const Text& path) {
    const std::size_t slash = path.find_last_of(SL_T("\\/"));
    Text name = slash == Text::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of(Unit('.'));
    return dot == Text::npos ? name : name.substr(0, dot);
}

std::uint64_t ShardHash(const Text& relative, const LowerCaser& lower) {
    Fnv1a hash;
    for (Unit c : Unified(relative, lower)) hash.AddUnit(unsigned(c));
    return hash.Value();
}

bool Shard::Takes(const Text& relative, const LowerCaser& lower) const {
    return !Splits() || ShardHash(relative, lower) % count == index - 1;
}

bool ParseShard(const Text& text, Shard& shard) {
    const std::size_t slash = text.find(Unit('/'));
    if (slash == Text::npos || slash == 0 || slash + 1 >= text.size()) return false;
    auto number = [](const Text& digits, std::uint32_t& value) {
        if (digits.empty() || digits.size() > 6) return false;
        value = 0;
        for (Unit c : digits) {
            if (!IsDigit(c)) return false;
            value = value * 10 + std::uint32_t(c - '0');
        }
        return true;
    };
    Shard parsed;
    if (!number(text.substr(0, slash), parsed.index) || !number(text.substr(slash + 1), parsed.count)) return false;
    if (parsed.count < 1 || parsed.count > 100000 || parsed.index < 1 || parsed.index > parsed.count) return false;
    shard = parsed;
    return true;
}

Text ShardText(const Shard& shard) {
    return Ascii(std::to_string(shard.index) + "/" + std::to_string(shard.count));
}

std::string ResolveShard(const Text& text, Text (*variable)(const char* name), Shard& shard) {
    static const Text kAuto = Ascii("auto");
    if (text.compare(0, kAuto.size(), kAuto) != 0) return ParseShard(text, shard) ? std::string() : "is not K/N, auto or auto/N";
    std::uint32_t given = 0; // auto/N's N
    if (text.size() > kAuto.size()) {
        Shard count;
        if (text[kAuto.size()] != Unit('/') || !ParseShard(Ascii("1") + text.substr(kAuto.size()), count))
            return "is not K/N, auto or auto/N (N from 1 to 100000)";
        given = count.count;
    }
    // A variable's whole number, from 0 to 1e9; false when it is set to anything else.
    auto number = [&](const char* name, bool& set, std::uint64_t& value) {
        const Text digits = variable(name);
        set = !digits.empty();
        value = 0;
        if (!set) return true;
        if (digits.size() > 9) return false;
        for (Unit c : digits) {
            if (!IsDigit(c)) return false;
            value = value * 10 + (c - '0');
        }
        return true;
    };
    bool hasId, hasMin, hasCount, hasStep, hasIndex;
    std::uint64_t id, min, count, step, index;
    if (!number("SLURM_ARRAY_TASK_ID", hasId, id) || !number("SLURM_ARRAY_TASK_MIN", hasMin, min) ||
        !number("SLURM_ARRAY_TASK_COUNT", hasCount, count) || !number("SLURM_ARRAY_TASK_STEP", hasStep, step) ||
        !number("JOB_COMPLETION_INDEX", hasIndex, index))
        return std::string("takes whole numbers from the scheduler's variables: ") + kShardVariables;
    std::uint64_t k = 0, n = 0;
    std::string from;
    if (hasId && hasMin && hasCount) {
        if (!hasStep) step = 1;
        if (step == 0 || id < min || (id - min) % step != 0)
            return "SLURM_ARRAY_TASK_ID " + std::to_string(id) + " is not SLURM_ARRAY_TASK_MIN " + std::to_string(min) +
                   " plus a whole number of steps of " + std::to_string(step);
        k = (id - min) / step + 1;
        n = count;
        if (given && given != count)
            return "auto/" + std::to_string(given) + " names " + std::to_string(given) + " shards, but the Slurm array has " +
                   std::to_string(count) + " tasks (SLURM_ARRAY_TASK_COUNT)";
        from = "SLURM_ARRAY_TASK_ID " + std::to_string(id);
        if (k > n)
            return from + " is task " + std::to_string(k) + " of an array of " + std::to_string(n) +
                   " (SLURM_ARRAY_TASK_COUNT): give the array as MIN-MAX or MIN-MAX:STEP";
    } else if (hasIndex) {
        if (!given) return "auto takes JOB_COMPLETION_INDEX only with the count: --shard auto/N";
        k = index + 1;
        n = given;
        if (k > n)
            return "JOB_COMPLETION_INDEX " + std::to_string(index) + " is no index of " + std::to_string(n) +
                   " shards (0 to " + std::to_string(n - 1) + ")";
    } else {
        return std::string("auto: none of ") + kShardVariables + " is set";
    }
    if (n < 1 || n > 100000) return "the scheduler's count " + std::to_string(n) + " is not from 1 to 100000";
    shard.index = std::uint32_t(k);
    shard.count = std::uint32_t(n);
    return std::string();
}

namespace {

// FOLDER\NAME with one separator between, whether or not the folder ends with one ("m1\m2\", "C:\").
Text Joined(const Text& folder, const Text& name) {
    const bool ends = !folder.empty() && (folder.back() == Unit('\\') || folder.back() == Unit('/'));
    return ends ? folder + name : folder + SL_T("\\") + name;
}

} // namespace

std::vector<std::vector<Text>> PlanOutputNames(const std::vector<PlannedSource>& sources, const OutputNaming& naming,
                                               const LowerCaser& lower) {
    std::set<Text> taken;
    for (const PlannedSource& s : sources) taken.insert(Unified(s.path, lower));
    std::vector<std::vector<Text>> names;
    names.reserve(sources.size());
    for (const PlannedSource& s : sources) {
        const Text base = naming.folder.empty() ? naming.single : Joined(naming.folder, BaseName(s.path));
        // The pages' own names, where a source of several carries them: a name that an earlier
        // page of it has already gives way to the page's number.
        std::vector<Text> titles;
        if (s.outputs > 1 && !naming.folder.empty()) {
            std::set<Text> used;
            for (std::uint32_t p = 0; p < s.outputs && p < s.titles.size(); ++p) {
                Text title = FileNameOf(s.titles[p]);
                if (!title.empty() && !used.insert(Unified(title, lower)).second) title.clear();
                titles.push_back(title);
            }
        }
        std::vector<Text> mine;
        for (std::uint64_t n = 1;; ++n) {
            const Text stem = n == 1 ? base : base + SL_T(" (") + Decimal(std::int64_t(n)) + SL_T(")");
            mine.clear();
            bool free = true;
            for (std::uint32_t p = 0; p < s.outputs && free; ++p) {
                // A page of several that carries its own name is named by it, beside the others.
                const Text title = p < titles.size() ? titles[p] : Text();
                if (title.empty()) {
                    mine.push_back(PageName(stem, p, s.outputs, naming.extension));
                } else {
                    const Text titled = Joined(naming.folder, title);
                    mine.push_back((n == 1 ? titled : titled + SL_T(" (") + Decimal(std::int64_t(n)) + SL_T(")")) + naming.extension);
                }
                free = !taken.count(Unified(mine.back(), lower));
            }
            // A name given twice within one source (a page numbered as another's) counts too.
            std::set<Text> own;
            for (const Text& m : mine) free = free && own.insert(Unified(m, lower)).second;
            if (free) break;
        }
        for (const Text& m : mine) taken.insert(Unified(m, lower));
        names.push_back(std::move(mine));
    }
    return names;
}

void InputRecord::Option(const Text& name, const Text& value) {
    bytes_ += "option\t" + Field(name) + "\t" + Field(value) + "\n";
}

void InputRecord::Source(const Text& path, std::uint64_t size, std::uint64_t hash) {
    bytes_ += "source\t" + Field(path) + "\t" + std::to_string(size) + "\t" + Hex64(hash) + "\n";
}

namespace {

// A record's lines by their first field: the options as (name, value) in order, the sources and
// the tool lines as they stand, and the rest.
struct RecordLines {
    std::vector<std::pair<std::string, std::string>> options;
    std::vector<std::string> sources, tools, rest;
    explicit RecordLines(const std::string& bytes) {
        std::size_t from = 0;
        while (from < bytes.size()) {
            std::size_t end = bytes.find('\n', from);
            if (end == std::string::npos) end = bytes.size();
            const std::string line = bytes.substr(from, end - from);
            from = end + 1;
            const std::vector<std::string> fields = SplitTabs(line);
            if (fields[0] == "option" && fields.size() == 3)
                options.emplace_back(fields[1], fields[2]);
            else if (fields[0] == "source")
                sources.push_back(line);
            else if (fields[0] == "tool")
                tools.push_back(line);
            else
                rest.push_back(line);
        }
    }
};

Text OptionName(const std::string& field) {
    std::string bytes;
    return FromUtf8(Unfield(field, bytes) ? bytes : field);
}

} // namespace

RecordChange CompareRecords(const std::string& kept, const std::string& wanted) {
    RecordChange change;
    if (kept == wanted) return change;
    const RecordLines was(kept), now(wanted);
    if (was.options != now.options) {
        change.kind = RecordChange::Option;
        // The first option whose value is not what it was, or that one of them lacks.
        auto find = [](const RecordLines& in, const std::string& name) {
            for (const auto& o : in.options)
                if (o.first == name) return &o.second;
            return static_cast<const std::string*>(nullptr);
        };
        for (const auto& o : now.options) {
            const std::string* before = find(was, o.first);
            if (!before || *before != o.second) return change.option = OptionName(o.first), change;
        }
        for (const auto& o : was.options)
            if (!find(now, o.first)) return change.option = OptionName(o.first), change;
        change.option = OptionName(now.options.empty() ? was.options.front().first : now.options.front().first);
        return change; // the same options in another order
    }
    if (was.sources != now.sources) change.kind = RecordChange::Source;
    else if (was.tools != now.tools) change.kind = RecordChange::Tool;
    else change.kind = RecordChange::Output;
    return change;
}

std::string FormatKeptRow(const KeptRow& kept) {
    return "row\t" + Field(kept.path) + "\t" + std::to_string(kept.size) + "\t" + Hex64(kept.hash) + "\t" +
           Field(kept.row);
}

bool ParseKeptRow(const std::string& line, KeptRow& kept) {
    const std::vector<std::string> fields = SplitTabs(line);
    std::string path;
    if (fields.size() != 5 || fields[0] != "row" || !Unfield(fields[1], path) || path.empty() ||
        !ReadNumber(fields[2], false, kept.size) || fields[3].size() != 16 || !ReadNumber(fields[3], true, kept.hash) ||
        !Unfield(fields[4], kept.row))
        return false;
    kept.path = FromUtf8(path);
    return true;
}

std::string FormatRunLine(const Text& run) { return "scanleaf-card rows 1\t" + Field(run); }

bool ParseRunLine(const std::string& line, Text& run) {
    const std::vector<std::string> fields = SplitTabs(line);
    std::string bytes;
    if (fields.size() != 2 || fields[0] != "scanleaf-card rows 1" || !Unfield(fields[1], bytes)) return false;
    run = FromUtf8(bytes);
    return true;
}

void ContentHash::Add(const void* bytes, std::size_t size) {
    const Bytef* p = static_cast<const Bytef*>(bytes);
    while (size > 0) {
        const uInt piece = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30)); // zlib's lengths are 32 bits
        crc_ = static_cast<std::uint32_t>(crc32(crc_, p, piece));
        adler_ = static_cast<std::uint32_t>(adler32(adler_, p, piece));
        p += piece;
        size -= piece;
    }
}

} // namespace scanleaf::core
