#include "core/PdfFilters.h"

#include <zlib.h>

#include <cstring>

namespace scanleaf::core {

namespace {

bool Named(const std::string& name, const char* full, const char* shortName) { return name == full || name == shortName; }

std::int64_t IntParm(const PdfObject& parms, const char* key, std::int64_t otherwise) {
    const PdfObject* v = parms.Find(key);
    return v && v->IsNumber() ? std::int64_t(v->number) : otherwise;
}

bool Flate(const std::string& in, std::size_t limit, std::string& out, std::string& problem) {
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (inflateInit(&z) != Z_OK) return problem = "zlib cannot start", false;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = uInt(in.size());
    char buffer[65536];
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        status = inflate(&z, Z_NO_FLUSH);
        const std::size_t got = sizeof buffer - z.avail_out;
        if (out.size() + got > limit) {
            inflateEnd(&z);
            return problem = "its FlateDecode data grows past " + std::to_string(limit) + " bytes", false;
        }
        out.append(buffer, got);
        if (status == Z_BUF_ERROR && z.avail_in == 0) break; // data cut short: what came out stands
    }
    inflateEnd(&z);
    if (status == Z_STREAM_END || status == Z_BUF_ERROR) return true;
    problem = std::string("its FlateDecode data is damaged (zlib: ") + (z.msg ? z.msg : "error " + std::to_string(status)) + ")";
    return false;
}

bool Lzw(const std::string& in, bool early, std::size_t limit, std::string& out, std::string& problem) {
    std::vector<std::string> table;
    auto reset = [&table] {
        table.clear();
        for (int i = 0; i < 256; ++i) table.emplace_back(1, char(i));
        table.emplace_back(); // 256: clear
        table.emplace_back(); // 257: end
    };
    reset();
    int width = 9;
    std::uint32_t bits = 0;
    int count = 0;
    std::string previous;
    bool havePrevious = false;
    for (std::size_t i = 0; i < in.size() || count >= width;) {
        while (count < width && i < in.size()) {
            bits = (bits << 8) | static_cast<unsigned char>(in[i++]);
            count += 8;
        }
        if (count < width) break;
        const std::uint32_t code = (bits >> (count - width)) & ((1u << width) - 1);
        count -= width;
        if (code == 256) {
            reset();
            width = 9;
            havePrevious = false;
            continue;
        }
        if (code == 257) break;
        std::string entry;
        if (code < table.size()) {
            entry = table[code];
        } else if (code == table.size() && havePrevious) {
            entry = previous + previous[0];
        } else {
            return problem = "its LZWDecode data holds a code " + std::to_string(code) + " that is not in its table", false;
        }
        if (out.size() + entry.size() > limit)
            return problem = "its LZWDecode data grows past " + std::to_string(limit) + " bytes", false;
        out += entry;
        if (havePrevious && table.size() < 4096) table.push_back(previous + entry[0]);
        previous = entry;
        havePrevious = true;
        const std::size_t next = table.size() + (early ? 1 : 0);
        width = next >= 2048 ? 12 : next >= 1024 ? 11 : next >= 512 ? 10 : 9;
    }
    return true;
}

bool AsciiHex(const std::string& in, std::string& out, std::string& problem) {
    int high = -1;
    for (char ch : in) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '>') break;
        if (PdfParser::IsSpace(c)) continue;
        int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (v < 0) return problem = "its ASCIIHexDecode data holds a byte that is no hexadecimal digit", false;
        if (high < 0) {
            high = v;
        } else {
            out += char(high * 16 + v);
            high = -1;
        }
    }
    if (high >= 0) out += char(high * 16);
    return true;
}

bool Ascii85(const std::string& in, std::string& out, std::string& problem) {
    std::uint64_t group = 0;
    int n = 0;
    for (std::size_t i = 0; i < in.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(in[i]);
        if (c == '~') break;
        if (PdfParser::IsSpace(c)) continue;
        if (c == 'z' && n == 0) {
            out.append(4, '\0');
            continue;
        }
        if (c < '!' || c > 'u') return problem = "its ASCII85Decode data holds a byte outside ! to u", false;
        group = group * 85 + (c - '!');
        if (++n == 5) {
            if (group > 0xFFFFFFFFull) return problem = "its ASCII85Decode data holds a group past 2^32", false;
            for (int s = 24; s >= 0; s -= 8) out += char((group >> s) & 0xFF);
            group = 0;
            n = 0;
        }
    }
    if (n == 1) return problem = "its ASCII85Decode data ends with a single character", false;
    if (n > 1) {
        for (int k = n; k < 5; ++k) group = group * 85 + 84;
        for (int k = 0; k < n - 1; ++k) out += char((group >> (24 - 8 * k)) & 0xFF);
    }
    return true;
}

bool RunLength(const std::string& in, std::size_t limit, std::string& out, std::string& problem) {
    for (std::size_t i = 0; i < in.size();) {
        const unsigned char length = static_cast<unsigned char>(in[i++]);
        if (length == 128) break;
        if (length < 128) {
            const std::size_t n = std::min<std::size_t>(length + 1u, in.size() - i);
            out.append(in, i, n);
            i += n;
        } else if (i < in.size()) {
            out.append(257u - length, in[i++]);
        }
        if (out.size() > limit) return problem = "its RunLengthDecode data grows past " + std::to_string(limit) + " bytes", false;
    }
    return true;
}

// PNG's predictors (10 to 15: each row tagged with its own) and TIFF's 2 for 1 to 8 bits a component.
bool Predicted(const PdfObject& parms, std::string& data, std::string& problem) {
    const std::int64_t predictor = IntParm(parms, "Predictor", 1);
    if (predictor <= 1) return true;
    const std::int64_t colors = IntParm(parms, "Colors", 1), bpc = IntParm(parms, "BitsPerComponent", 8),
                       columns = IntParm(parms, "Columns", 1);
    if (colors < 1 || colors > 32 || (bpc != 1 && bpc != 2 && bpc != 4 && bpc != 8 && bpc != 16) || columns < 1 ||
        columns > (1 << 24))
        return problem = "its predictor's Colors, BitsPerComponent or Columns are out of range", false;
    const std::size_t rowBytes = std::size_t((colors * bpc * columns + 7) / 8);
    // Rows longer than the data cannot be in it (and are not made room for).
    if (rowBytes > data.size()) return problem = "its predictor's rows are longer than its data", false;
    const std::size_t pel = std::size_t(std::max<std::int64_t>(1, colors * bpc / 8));
    std::string out;
    if (predictor == 2) {
        if (bpc != 8) return problem = "a TIFF predictor on " + std::to_string(bpc) + "-bit components, which is not read", false;
        for (std::size_t row = 0; row + rowBytes <= data.size(); row += rowBytes)
            for (std::size_t i = pel; i < rowBytes; ++i) data[row + i] = char(data[row + i] + data[row + i - pel]);
        return true;
    }
    if (predictor < 10 || predictor > 15) return problem = "Predictor " + std::to_string(predictor) + " is no predictor", false;
    std::string prior(rowBytes, '\0');
    for (std::size_t at = 0; at < data.size();) {
        const unsigned char type = static_cast<unsigned char>(data[at++]);
        std::string row = data.substr(at, rowBytes);
        at += rowBytes;
        row.resize(rowBytes, '\0');
        for (std::size_t i = 0; i < rowBytes; ++i) {
            const int a = i >= pel ? static_cast<unsigned char>(row[i - pel]) : 0;
            const int b = static_cast<unsigned char>(prior[i]);
            const int c = i >= pel ? static_cast<unsigned char>(prior[i - pel]) : 0;
            int add = 0;
            switch (type) {
            case 0: break;
            case 1: add = a; break;
            case 2: add = b; break;
            case 3: add = (a + b) / 2; break;
            case 4: {
                const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                add = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
                break;
            }
            default: return problem = "a PNG predictor row of type " + std::to_string(type), false;
            }
            row[i] = char(static_cast<unsigned char>(row[i]) + add);
        }
        out += row;
        prior = row;
    }
    data.swap(out);
    return true;
}

} // namespace

bool IsPdfImageFilter(const std::string& name) {
    return Named(name, "CCITTFaxDecode", "CCF") || Named(name, "DCTDecode", "DCT") || name == "JPXDecode" ||
           name == "JBIG2Decode";
}

PdfDecoded PdfDecode(const std::uint8_t* data, std::size_t size, const std::vector<PdfFilter>& filters, std::size_t limit) {
    PdfDecoded result;
    result.bytes.assign(reinterpret_cast<const char*>(data), size);
    for (const PdfFilter& f : filters) {
        if (IsPdfImageFilter(f.name)) break;
        std::string out;
        bool ok = false;
        if (Named(f.name, "FlateDecode", "Fl")) {
            ok = Flate(result.bytes, limit, out, result.problem) && Predicted(f.parms, out, result.problem);
        } else if (Named(f.name, "LZWDecode", "LZW")) {
            ok = Lzw(result.bytes, IntParm(f.parms, "EarlyChange", 1) != 0, limit, out, result.problem) &&
                 Predicted(f.parms, out, result.problem);
        } else if (Named(f.name, "ASCIIHexDecode", "AHx")) {
            ok = AsciiHex(result.bytes, out, result.problem);
        } else if (Named(f.name, "ASCII85Decode", "A85")) {
            ok = Ascii85(result.bytes, out, result.problem);
        } else if (Named(f.name, "RunLengthDecode", "RL")) {
            ok = RunLength(result.bytes, limit, out, result.problem);
        } else {
            result.problem = "its filter " + f.name + " is not one PDF names";
        }
        if (!ok) return result;
        result.bytes.swap(out);
        ++result.undone;
    }
    return result;
}

} // namespace scanleaf::core
