#include "core/PdfPictures.h"

#include "core/PdfWriter.h"
#include "core/TiffReader.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>

namespace scanleaf::core {

namespace {

using Kind = PdfObject::Kind;

struct Matrix {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
    // This matrix, then `then`.
    Matrix Then(const Matrix& m) const {
        return {a * m.a + b * m.c, a * m.b + b * m.d, c * m.a + d * m.c, c * m.b + d * m.d, e * m.a + f * m.c + m.e,
                e * m.b + f * m.d + m.f};
    }
};

struct Placed {
    const PdfObject* image = nullptr;
    Matrix ctm;
};

// The images a content stream draws, through forms; inline images counted.
class ContentWalk {
public:
    explicit ContentWalk(PdfDocument& document) : document_(document) {}

    bool Walk(const std::string& content, const PdfObject* resources, const Matrix& start, int depth) {
        if (depth > 10) return problem = "forms nested deeper than 10", false;
        PdfParser parser(reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
        std::vector<PdfObject> operands;
        std::vector<Matrix> saved;
        Matrix ctm = start;
        while (!parser.AtEnd()) {
            if (parser.ObjectNext()) {
                PdfObject operand;
                if (!parser.Object(operand)) return problem = "its content cannot be read", false;
                if (operands.size() < 64) operands.push_back(std::move(operand));
                continue;
            }
            const std::size_t before = parser.At();
            const std::string op = parser.Regular();
            if (op.empty()) {
                parser.Seek(before + 1); // a stray delimiter
                continue;
            }
            if (op == "q") {
                if (saved.size() < 1024) saved.push_back(ctm);
            } else if (op == "Q") {
                if (!saved.empty()) {
                    ctm = saved.back();
                    saved.pop_back();
                }
            } else if (op == "cm" && operands.size() >= 6) {
                const PdfObject* m = &operands[operands.size() - 6];
                ctm = Matrix{m[0].number, m[1].number, m[2].number, m[3].number, m[4].number, m[5].number}.Then(ctm);
            } else if (op == "Do" && !operands.empty() && operands.back().Is(Kind::Name)) {
                if (!Draw(operands.back().text, resources, ctm, depth)) return false;
            } else if (op == "BI") {
                ++inlineImages;
                if (!SkipInlineImage(parser)) return problem = "an inline image without its end (EI)", false;
            }
            operands.clear();
        }
        return true;
    }

    std::vector<Placed> placed;
    std::size_t inlineImages = 0;
    std::string problem;

private:
    bool Draw(const std::string& name, const PdfObject* resources, const Matrix& ctm, int depth) {
        if (!resources) return true;
        const PdfObject& object = document_.Get(document_.Get(*resources, "XObject"), name);
        if (!object.Is(Kind::Stream)) return true;
        const PdfObject& subtype = document_.Get(object, "Subtype");
        if (subtype.IsName("Image")) {
            if (placed.size() < 64) placed.push_back({&object, ctm});
            return true;
        }
        if (!subtype.IsName("Form") || !forms_.insert(&object).second) return true;
        Matrix m;
        const PdfObject& given = document_.Get(object, "Matrix");
        if (given.Is(Kind::Array) && given.items.size() == 6) {
            double v[6];
            for (int i = 0; i < 6; ++i) v[i] = document_.Resolve(given.items[std::size_t(i)]).number;
            m = {v[0], v[1], v[2], v[3], v[4], v[5]};
        }
        const PdfDecoded content = document_.Decoded(object);
        const PdfObject& own = document_.Get(object, "Resources");
        const bool ok = content.problem.empty() &&
                        Walk(content.bytes, own.IsDictionary() ? &own : resources, m.Then(ctm), depth + 1);
        forms_.erase(&object);
        return ok || !problem.empty() ? ok : true;
    }

    // From BI: the dictionary up to ID, then the data up to an EI between white space.
    static bool SkipInlineImage(PdfParser& parser) {
        while (!parser.AtEnd() && !parser.Keyword("ID")) {
            PdfObject ignored;
            if (!parser.Object(ignored)) return false;
        }
        std::size_t at = parser.At();
        // Searched for in the rest of the content: the parser's span is the content itself.
        for (;;) {
            parser.Seek(at + 1);
            const std::size_t start = parser.At();
            if (start == at) return false;
            at = start;
            if (parser.Keyword("EI")) return true;
            if (parser.AtEnd()) return false;
        }
    }

    PdfDocument& document_;
    std::set<const PdfObject*> forms_;
};

// The page's content, its streams joined.
bool PageContent(PdfDocument& document, const PdfObject& page, std::string& content, std::string& problem) {
    const PdfObject& contents = document.Get(page, "Contents");
    std::vector<const PdfObject*> streams;
    if (contents.Is(Kind::Stream)) streams.push_back(&contents);
    if (contents.Is(Kind::Array))
        for (const PdfObject& item : contents.items) streams.push_back(&document.Resolve(item));
    for (const PdfObject* s : streams) {
        if (!s->Is(Kind::Stream)) continue;
        const PdfDecoded decoded = document.Decoded(*s);
        if (!decoded.problem.empty()) return problem = "its content cannot be decoded: " + decoded.problem, false;
        content += decoded.bytes;
        content += '\n';
    }
    return true;
}

std::int64_t IntOf(const PdfObject& o, std::int64_t otherwise) { return o.IsNumber() ? std::int64_t(o.number) : otherwise; }

bool BoolOf(const PdfObject* o, bool otherwise) { return o && o->Is(Kind::Boolean) ? o->boolean : otherwise; }

int Sign(double v, double scale) { return std::fabs(v) <= scale * 1e-6 ? 0 : v > 0 ? 1 : -1; }

// The CALS orientation that shows the image as the matrix (the page's rotation applied) does.
bool OrientationOf(const Matrix& m, int& pelPath, int& lineProgression) {
    const double scale = std::fabs(m.a) + std::fabs(m.b) + std::fabs(m.c) + std::fabs(m.d);
    const int want[4] = {Sign(m.a, scale), Sign(m.b, scale), Sign(m.c, scale), Sign(m.d, scale)};
    static const int kOrientations[8][2] = {{0, 270}, {90, 270}, {180, 270}, {270, 270}, {0, 90}, {90, 90}, {180, 90}, {270, 90}};
    for (const auto& o : kOrientations) {
        PagePicture p;
        p.width = 100, p.height = 50, p.dpi = 72, p.pelPath = o[0], p.lineProgression = o[1];
        double v[6] = {};
        std::sscanf(PdfImageMatrix(p).c_str(), "%lf %lf %lf %lf %lf %lf", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
        if (Sign(v[0], 1) == want[0] && Sign(v[1], 1) == want[1] && Sign(v[2], 1) == want[2] && Sign(v[3], 1) == want[3]) {
            pelPath = o[0];
            lineProgression = o[1];
            return true;
        }
    }
    return false;
}

// An image's colour space as the rows take it: its components (1 or 3), and for a palette its
// entries as RGB of 0 to 255; false for any other space.
bool ColoursOf(PdfDocument& document, const PdfObject& space, unsigned& components, std::vector<std::array<std::uint8_t, 3>>& palette,
               std::string& problem) {
    components = 1;
    palette.clear();
    if (space.IsName("DeviceGray") || space.IsName("G") || space.IsName("CalGray")) return true;
    if (space.IsName("DeviceRGB") || space.IsName("RGB") || space.IsName("CalRGB")) return components = 3, true;
    if (space.Is(Kind::Array) && !space.items.empty()) {
        const PdfObject& family = document.Resolve(space.items[0]);
        if (family.IsName("CalGray")) return true;
        if (family.IsName("CalRGB")) return components = 3, true;
        const std::int64_t n = family.IsName("ICCBased") && space.items.size() > 1 ? IntOf(document.Get(document.Resolve(space.items[1]), "N"), 0) : 0;
        if (n == 1 || n == 3) return components = unsigned(n), true;
        if ((family.IsName("Indexed") || family.IsName("I")) && space.items.size() == 4) {
            const PdfObject& base = document.Resolve(space.items[1]);
            const PdfObject& lookup = document.Resolve(space.items[3]);
            const std::string table = lookup.Is(Kind::Stream) ? document.Decoded(lookup).bytes : lookup.text;
            const bool grey = base.IsName("DeviceGray") || base.IsName("G");
            const bool rgb = base.IsName("DeviceRGB") || base.IsName("RGB");
            const std::size_t size = grey ? 1 : 3;
            const std::int64_t high = IntOf(document.Resolve(space.items[2]), -1);
            if ((grey || rgb) && high >= 0 && high <= 255 && table.size() >= std::size_t(high + 1) * size) {
                for (std::int64_t i = 0; i <= high; ++i) {
                    std::array<std::uint8_t, 3> c;
                    for (std::size_t k = 0; k < 3; ++k) c[k] = static_cast<std::uint8_t>(table[std::size_t(i) * size + (grey ? 0 : k)]);
                    palette.push_back(c);
                }
                return true;
            }
            problem = "its picture's palette is on a colour space other than grey or RGB, or shorter than it says";
            return false;
        }
    }
    problem = "its picture's colour space is neither grey, RGB nor a palette of them";
    return false;
}

} // namespace

PdfPagePicture ReadPdfPagePicture(PdfDocument& document, const PdfPageInfo& page, int threshold) {
    PdfPagePicture picture;
    std::string& problem = picture.problem;
    // A page that holds no drawing: named, to be left out.
    auto leave = [&picture](std::string why) {
        picture.problem = std::move(why);
        picture.noDrawing = true;
        return picture;
    };
    std::string content;
    if (!PageContent(document, *page.page, content, problem)) return picture;
    ContentWalk walk(document);
    if (!walk.Walk(content, page.resources, Matrix(), 0)) return problem = walk.problem, picture;
    const std::size_t count = walk.placed.size() + walk.inlineImages;
    if (count == 0) return leave("its page holds no picture");
    if (count > 1) return leave("its page holds " + std::to_string(count) + " pictures, not one drawing");
    if (walk.inlineImages) return leave("its picture is an inline image, which is not read");
    const PdfObject& image = *walk.placed[0].image;

    // Size and placement.
    const std::int64_t width = IntOf(document.Get(image, "Width"), 0), height = IntOf(document.Get(image, "Height"), 0);
    if (width <= 0 || height <= 0 || width > std::int64_t(kMaxG4Width) || std::uint64_t(width) * std::uint64_t(height) > kMaxPicturePels)
        return problem = "its picture gives a size of " + std::to_string(width) + " by " + std::to_string(height) + " pels", picture;
    picture.width = std::uint32_t(width);
    picture.height = std::uint32_t(height);
    Matrix m = walk.placed[0].ctm;
    for (int r = 0; r < page.rotate / 90; ++r) m = {m.b, -m.a, m.d, -m.c, 0, 0};
    const double across = std::hypot(m.a, m.b) * page.userUnit, down = std::hypot(m.c, m.d) * page.userUnit;
    const double scale = std::fabs(m.a) + std::fabs(m.b) + std::fabs(m.c) + std::fabs(m.d);
    const bool square = (Sign(m.a, scale) == 0) != (Sign(m.b, scale) == 0) && (Sign(m.c, scale) == 0) != (Sign(m.d, scale) == 0) &&
                        (Sign(m.a, scale) == 0) == (Sign(m.d, scale) == 0);
    if (!square || across <= 0 || down <= 0 || !OrientationOf(m, picture.pelPath, picture.lineProgression))
        return problem = "its picture is drawn turned or slanted by other than quarter turns", picture;
    // Pels per inch, read as a whole number where the page's points give one to a part in 10,000.
    auto dpi = [](double pels, double points) {
        const double v = pels * 72.0 / points;
        return std::fabs(v - std::round(v)) <= v * 1e-4 ? std::round(v) : v;
    };
    picture.dpiX = dpi(double(width), across);
    picture.dpiY = dpi(double(height), down);

    // The picture's own card.
    if (const PdfObject& metadata = document.Get(image, "Metadata"); metadata.Is(Kind::Stream)) {
        const PdfDecoded xmp = document.Decoded(metadata, std::size_t(64) << 20);
        if (xmp.problem.empty()) picture.xmp = xmp.bytes;
    }

    // What its samples are.
    const bool mask = BoolOf(image.Find("ImageMask") ? &document.Resolve(*image.Find("ImageMask")) : nullptr, false);
    const std::int64_t bits = mask ? 1 : IntOf(document.Get(image, "BitsPerComponent"), 0);
    const std::vector<PdfFilter> filters = document.Filters(image);
    const std::string last = filters.empty() ? std::string() : filters.back().name;
    if ((last == "DCTDecode" || last == "DCT") && threshold < 0)
        return leave("its picture is a JPEG (DCTDecode): --threshold N makes pels below N per cent of full lightness black");
    if (last == "DCTDecode" || last == "DCT") {
        // Decoded by the caller (Windows decodes JPEG), its general filters undone here.
        const PdfDecoded decoded = document.Decoded(image);
        if (!decoded.problem.empty()) return problem = decoded.problem, picture;
        picture.coding = PdfPagePicture::Coding::Jpeg;
        picture.data = decoded.bytes;
        picture.threshold = threshold;
        return picture;
    }
    if (last == "JPXDecode") return leave("its picture is a JPEG 2000 (JPXDecode), not read");
    if (last == "JBIG2Decode") return leave("its picture is coded in JBIG2, which is not read");
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8)
        return leave("its picture has " + std::to_string(bits) + " bits a component, which is not read");
    unsigned components = 1;
    std::vector<std::array<std::uint8_t, 3>> palette;
    if (!mask && !ColoursOf(document, document.Get(image, "ColorSpace"), components, palette, problem)) return leave(problem);
    bool inverted = false; // a /Decode of [1 0] (or [max 0])
    if (const PdfObject& decode = document.Get(image, "Decode"); decode.Is(Kind::Array) && decode.items.size() >= 2)
        inverted = document.Resolve(decode.items[0]).number > document.Resolve(decode.items[1]).number;
    bool blackAndWhiteOnly = false;
    picture.bits = unsigned(bits);
    picture.components = components;
    // Samples of more than one bit, or colour: each sample value's darkness, or RGB by --threshold.
    if (bits > 1 || components > 1) {
        const unsigned values = 1u << bits;
        bool exact = components == 1 && !palette.empty();
        for (unsigned v = 0; v < values && components == 1; ++v) {
            const unsigned sample = inverted ? values - 1 - v : v;
            const std::array<std::uint8_t, 3> c =
                palette.empty() ? std::array<std::uint8_t, 3>{std::uint8_t(sample * 255 / (values - 1)), 0, 0}
                                : palette[std::min<std::size_t>(sample, palette.size() - 1)];
            const unsigned light = palette.empty() ? c[0] : Lightness(c[0], c[1], c[2]);
            exact = exact && (light == 0 || (c[0] == 255 && c[1] == 255 && c[2] == 255));
            picture.dark.push_back(std::uint8_t(light * 100u < unsigned(std::max(threshold, 0)) * 255u));
            if (exact) picture.dark.back() = light == 0;
        }
        // Grey that is only black and white (as some writers give a bilevel picture) is taken
        // as it is; that is known once its samples are decoded.
        blackAndWhiteOnly = !exact && threshold < 0 && components == 1 && palette.empty();
        if (!exact && threshold < 0 && !blackAndWhiteOnly)
            return leave("colour pels: --threshold N makes pels below N per cent of full lightness black");
        picture.threshold = threshold;
    }

    for (std::size_t i = 0; i < filters.size(); ++i)
        if (IsPdfImageFilter(filters[i].name) && i + 1 != filters.size())
            return problem = "its filters go on after " + filters[i].name, picture;
    const PdfDecoded decoded = document.Decoded(image);
    if (!decoded.problem.empty()) return problem = decoded.problem, picture;
    picture.data = decoded.bytes;
    bool sampleIsBit = true; // a decoded bit is the sample's value
    if (last == "CCITTFaxDecode" || last == "CCF") {
        const PdfObject& parms = filters.back().parms;
        const std::int64_t k = IntOf(parms.Find("K") ? document.Resolve(*parms.Find("K")) : PdfObject(), 0);
        const std::int64_t columns = IntOf(parms.Find("Columns") ? document.Resolve(*parms.Find("Columns")) : PdfObject(), 1728);
        const std::int64_t rows = IntOf(parms.Find("Rows") ? document.Resolve(*parms.Find("Rows")) : PdfObject(), 0);
        const bool blackIs1 = BoolOf(parms.Find("BlackIs1") ? &document.Resolve(*parms.Find("BlackIs1")) : nullptr, false);
        picture.aligned = BoolOf(parms.Find("EncodedByteAlign") ? &document.Resolve(*parms.Find("EncodedByteAlign")) : nullptr, false);
        if (columns != width)
            return problem = "its CCITT /Columns " + std::to_string(columns) + " is not its /Width " + std::to_string(width), picture;
        if (rows > 0 && rows < height)
            return problem = "its CCITT /Rows " + std::to_string(rows) + " is fewer than its /Height " + std::to_string(height), picture;
        picture.coding = k < 0 ? PdfPagePicture::Coding::Group4 : k == 0 ? PdfPagePicture::Coding::Group3OneD
                                                                        : PdfPagePicture::Coding::Group3TwoD;
        // The decoder's bit is 1 for black runs, which the filter gives as 0 unless BlackIs1.
        sampleIsBit = blackIs1;
    }
    if (bits > 1 || components > 1) {
        if (picture.coding != PdfPagePicture::Coding::Samples) return problem = "a CCITT picture of more than one bit a pel", picture;
        if (blackAndWhiteOnly) {
            const unsigned most = (1u << bits) - 1;
            for (std::size_t bit = 0; bit + bits <= picture.data.size() * 8; bit += bits) {
                const unsigned v = (static_cast<unsigned char>(picture.data[bit / 8]) >> (8 - bits - bit % 8)) & most;
                if (v != 0 && v != most)
                    return leave("grey pels: --threshold N makes pels below N per cent of full lightness black");
            }
            for (unsigned v = 0; v <= most; ++v) picture.dark[v] = (inverted ? most - v : v) == 0;
        }
        return picture;
    }
    // The bit as black: the bit as the sample, through /Decode, then the colour space.
    const bool bitIsIndex = sampleIsBit != inverted; // a set bit gives sample 1 after /Decode
    if (!palette.empty()) {
        bool dark[2];
        std::uint16_t rgb[2][3];
        for (int i = 0; i < 2; ++i)
            for (int c = 0; c < 3; ++c) rgb[i][c] = std::uint16_t(palette[std::min<std::size_t>(std::size_t(i), palette.size() - 1)][std::size_t(c)] * 257);
        if (!PaletteDark(rgb[0], rgb[1], threshold, dark, problem)) return leave(problem);
        const bool darkWhenSet = dark[bitIsIndex ? 1 : 0], darkWhenClear = dark[bitIsIndex ? 0 : 1];
        picture.filled = darkWhenSet == darkWhenClear;
        picture.fill = darkWhenSet ? 0xFF : 0;
        picture.flip = darkWhenSet ? 0 : 0xFF;
    } else {
        // Grey, and masks as they paint in black: black where the sample after /Decode is 0.
        picture.flip = bitIsIndex ? 0xFF : 0;
    }

    if (picture.coding == PdfPagePicture::Coding::Group4 && !picture.aligned && picture.flip == 0 && !picture.filled) {
        // Kept only when it codes exactly the picture's rows.
        PdfPictureRows rows(picture);
        std::vector<std::uint8_t> row(rows.RowBytes());
        while (rows.NextRow(row.data())) {
        }
        if (!rows.Problem().empty()) return problem = rows.Problem(), picture;
        if (rows.MoreRows())
            picture.note = "coded again from its first " + std::to_string(height) + " rows: its Group 4 data holds more";
        else
            picture.keep = true;
    }
    return picture;
}

PdfPictureRows::PdfPictureRows(const PdfPagePicture& picture) : picture_(picture) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(picture.data.data());
    using Coding = PdfPagePicture::Coding;
    if (picture.coding == Coding::Group4) {
        g4_ = std::make_unique<Group4Decoder>(data, picture.data.size(), picture.width);
        if (picture.aligned) g4_->AlignRows();
    } else if (picture.coding != Coding::Samples) {
        g3_ = std::make_unique<Group3Decoder>(data, picture.data.size(), picture.width,
                                              picture.coding == Coding::Group3OneD ? G3Coding::OneD : G3Coding::TwoD);
        g3_->EndOfLineOptional();
        if (picture.aligned) g3_->AlignRows();
    }
}

PdfPictureRows::~PdfPictureRows() = default;

bool PdfPictureRows::NextRow(std::uint8_t* row) {
    if (!problem_.empty() || row_ >= picture_.height) return false;
    if (picture_.coding == PdfPagePicture::Coding::Jpeg) {
        problem_ = "a JPEG is decoded by the caller";
        return false;
    }
    const std::size_t bytes = RowBytes();
    if (g4_ || g3_) {
        const bool got = g4_ ? g4_->NextRow(row) : g3_->NextRow(row);
        if (!got) {
            const G4Stop stop = g4_ ? g4_->Stop() : g3_->Stop();
            problem_ = "its CCITT data holds " + std::to_string(row_) + " of " + std::to_string(picture_.height) + " rows (" +
                       G4StopText(stop) + ")";
            return false;
        }
    } else if (picture_.bits > 1 || picture_.components > 1) {
        // Samples packed from the most significant bit, each row from a byte boundary.
        const std::size_t stride = (std::size_t(picture_.width) * picture_.bits * picture_.components + 7) / 8;
        const std::size_t at = std::size_t(row_) * stride;
        if (at + stride > picture_.data.size()) {
            problem_ = "its samples hold " + std::to_string(picture_.data.size() / stride) + " of " +
                       std::to_string(picture_.height) + " rows";
            return false;
        }
        const auto* in = reinterpret_cast<const std::uint8_t*>(picture_.data.data()) + at;
        const unsigned bits = picture_.bits, mask = (1u << bits) - 1;
        auto sample = [&](std::size_t index) {
            const std::size_t bit = index * bits;
            return (in[bit / 8] >> (8 - bits - bit % 8)) & mask;
        };
        std::memset(row, 0, bytes);
        for (std::uint32_t x = 0; x < picture_.width; ++x) {
            bool black;
            if (picture_.components == 1) {
                black = picture_.dark[sample(x)] != 0;
            } else {
                std::array<std::uint8_t, 3> c;
                for (unsigned k = 0; k < 3; ++k) c[k] = std::uint8_t(sample(std::size_t(x) * 3 + k) * 255 / mask);
                black = Lightness(c[0], c[1], c[2]) * 100u < unsigned(picture_.threshold) * 255u;
            }
            if (black) row[x / 8] |= std::uint8_t(0x80 >> (x % 8));
        }
        ++row_;
        return true;
    } else {
        const std::size_t at = std::size_t(row_) * bytes;
        if (at + bytes > picture_.data.size()) {
            problem_ = "its samples hold " + std::to_string(picture_.data.size() / bytes) + " of " +
                       std::to_string(picture_.height) + " rows";
            return false;
        }
        std::memcpy(row, picture_.data.data() + at, bytes);
    }
    for (std::size_t i = 0; i < bytes; ++i) row[i] = picture_.filled ? picture_.fill : std::uint8_t(row[i] ^ picture_.flip);
    if (picture_.width & 7) row[bytes - 1] &= std::uint8_t(0xFF << (8 - (picture_.width & 7)));
    ++row_;
    return true;
}

bool PdfPictureRows::MoreRows() {
    if (row_ < picture_.height || !problem_.empty()) return false;
    if (g4_) return g4_->NextRow(nullptr);
    if (g3_) return g3_->NextRow(nullptr);
    return false;
}

} // namespace scanleaf::core
