#include "core/pdf/PdfPictures.h"

#include "core/pdf/PdfWriter.h"
#include "core/tiff/TiffReader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>

namespace scanleaf::core {

namespace {

using Kind = PdfObject::Kind;

// The most images a page's content is followed for: past it, the page holds several pictures anyway.
constexpr std::size_t kMostPlaced = 64;

// Why pictures that need --threshold are left out without it.
constexpr char kGreyPels[] = "grey pels: --threshold N makes pels below N per cent of full lightness black";
constexpr char kColourPels[] = "colour pels: --threshold N makes pels below N per cent of full lightness black";

struct Matrix {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
    // This matrix, then `then`.
    Matrix Then(const Matrix& m) const {
        return {a * m.a + b * m.c, a * m.b + b * m.d, c * m.a + d * m.c, c * m.b + d * m.d, e * m.a + f * m.c + m.e,
                e * m.b + f * m.d + m.f};
    }
};

// An image the content draws: an XObject, or an inline image's dictionary and bytes.
struct Placed {
    const PdfObject* image = nullptr;
    std::shared_ptr<const PdfObject> inlineDictionary;
    std::shared_ptr<const std::string> inlineData;
    const PdfObject* resources = nullptr;
    Matrix ctm;
};

// An inline image's abbreviations, as its dictionary's full keys and names.
const char* FullKey(const std::string& key) {
    static const char* const kKeys[][2] = {{"BPC", "BitsPerComponent"}, {"CS", "ColorSpace"}, {"D", "Decode"},
                                           {"DP", "DecodeParms"},      {"F", "Filter"},       {"H", "Height"},
                                           {"IM", "ImageMask"},        {"I", "Interpolate"},  {"W", "Width"},
                                           {"L", "Length"}};
    for (const auto& k : kKeys)
        if (key == k[0]) return k[1];
    return nullptr;
}

void ExpandNames(PdfObject& value) {
    static const char* const kNames[][2] = {{"G", "DeviceGray"}, {"RGB", "DeviceRGB"}, {"CMYK", "DeviceCMYK"}, {"I", "Indexed"}};
    if (value.Is(Kind::Name)) {
        for (const auto& n : kNames)
            if (value.text == n[0]) value.text = n[1];
    } else if (value.Is(Kind::Array)) {
        for (PdfObject& item : value.items) ExpandNames(item);
    }
}

// The images a content stream draws, through forms; inline images read. Linear in what it reads:
// a form that drew no image is not read again, and reading stops once the page holds more
// images than one drawing is made of.
class ContentWalk {
public:
    explicit ContentWalk(PdfDocument& document) : document_(document) {}

    bool Walk(const std::string& content, const PdfObject* resources, const Matrix& start, int depth) {
        if (depth > 10) return problem = "forms nested deeper than 10", false;
        PdfParser parser(reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
        std::vector<PdfObject> operands;
        std::vector<Matrix> saved;
        Matrix ctm = start;
        while (!parser.AtEnd() && placed.size() <= kMostPlaced) {
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
                if (!InlineImage(content, parser, resources, ctm)) return problem = "an inline image without its end (EI)", false;
            }
            operands.clear();
        }
        return true;
    }

    std::vector<Placed> placed;
    std::string problem;

private:
    bool Draw(const std::string& name, const PdfObject* resources, const Matrix& ctm, int depth) {
        if (!resources) return true;
        const PdfObject& object = document_.Get(document_.Get(*resources, "XObject"), name);
        if (!object.Is(Kind::Stream)) return true;
        const PdfObject& subtype = document_.Get(object, "Subtype");
        if (subtype.IsName("Image")) {
            placed.push_back({&object, nullptr, nullptr, resources, ctm});
            return true;
        }
        if (!subtype.IsName("Form") || empty_.count(&object) || !forms_.insert(&object).second) return true;
        Matrix m;
        const PdfObject& given = document_.Get(object, "Matrix");
        if (given.Is(Kind::Array) && given.items.size() == 6) {
            double v[6];
            for (int i = 0; i < 6; ++i) v[i] = document_.Resolve(given.items[std::size_t(i)]).number;
            m = {v[0], v[1], v[2], v[3], v[4], v[5]};
        }
        const std::size_t before = placed.size();
        const PdfDecoded content = document_.Decoded(object);
        const PdfObject& own = document_.Get(object, "Resources");
        const bool ok = content.problem.empty() &&
                        Walk(content.bytes, own.IsDictionary() ? &own : resources, m.Then(ctm), depth + 1);
        forms_.erase(&object);
        if (ok && placed.size() == before) empty_.insert(&object);
        return ok || !problem.empty() ? ok : true;
    }

    // From BI: the dictionary up to ID, then the data: as long as its size says where it has no
    // filter, else up to an EI between white space.
    bool InlineImage(const std::string& content, PdfParser& parser, const PdfObject* resources, const Matrix& ctm) {
        auto dictionary = std::make_shared<PdfObject>();
        dictionary->kind = Kind::Dictionary;
        while (!parser.AtEnd() && !parser.Keyword("ID")) {
            PdfObject key, value;
            if (!parser.Object(key) || !key.Is(Kind::Name) || !parser.Object(value)) return false;
            ExpandNames(value);
            const char* full = FullKey(key.text);
            dictionary->entries.emplace_back(full ? full : key.text, std::move(value));
        }
        std::size_t start = parser.At() + 1; // one white-space byte after ID
        if (start > content.size()) return false;
        std::size_t end = std::string::npos;
        std::int64_t width = 0, height = 0, bpc = 0;
        const PdfObject* filter = dictionary->Find("Filter");
        const bool mask = dictionary->Find("ImageMask") && dictionary->Find("ImageMask")->boolean;
        const PdfObject* space = dictionary->Find("ColorSpace");
        const std::int64_t components = space && space->IsName("DeviceRGB") ? 3 : space && space->IsName("DeviceCMYK") ? 4 : 1;
        if ((!filter || (filter->Is(Kind::Array) && filter->items.empty())) && dictionary->Find("Width") && dictionary->Find("Height") &&
            PdfWhole(*dictionary->Find("Width"), 1, 1 << 20, width) && PdfWhole(*dictionary->Find("Height"), 1, 1 << 20, height) &&
            (mask || (dictionary->Find("BitsPerComponent") && PdfWhole(*dictionary->Find("BitsPerComponent"), 1, 16, bpc)))) {
            const std::uint64_t bytes = std::uint64_t((width * (mask ? 1 : bpc) * components + 7) / 8) * std::uint64_t(height);
            if (bytes <= content.size() - start) {
                parser.Seek(start + std::size_t(bytes));
                if (parser.Keyword("EI")) end = start + std::size_t(bytes);
            }
        }
        if (end == std::string::npos) {
            // The first EI that stands alone.
            for (std::size_t at = content.find("EI", start); at != std::string::npos; at = content.find("EI", at + 1)) {
                const bool before = at > start && PdfParser::IsSpace(std::uint8_t(content[at - 1]));
                const bool after = at + 2 >= content.size() || PdfParser::IsSpace(std::uint8_t(content[at + 2])) ||
                                   PdfParser::IsDelimiter(std::uint8_t(content[at + 2]));
                if (before && after) {
                    end = at - 1;
                    break;
                }
            }
            if (end == std::string::npos) return false;
            parser.Seek(end);
            if (!parser.Keyword("EI")) return false;
        }
        placed.push_back({nullptr, dictionary, std::make_shared<const std::string>(content, start, end - start), resources, ctm});
        return true;
    }

    PdfDocument& document_;
    std::set<const PdfObject*> forms_, empty_;
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
        if (content.size() + decoded.bytes.size() > PdfLimits::kStream)
            return problem = "its content is more than " + std::to_string(PdfLimits::kStream) + " bytes", false;
        content += decoded.bytes;
        content += '\n';
    }
    return true;
}

bool BoolOf(const PdfObject* o, bool otherwise) { return o && o->Is(Kind::Boolean) ? o->boolean : otherwise; }

// A size as the document writes it: 0 where it gives none.
std::string SizeText(const PdfObject& o) { return o.Is(Kind::Null) ? "0" : PdfWritten(o); }

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
        const std::int64_t n = family.IsName("ICCBased") && space.items.size() > 1 ? PdfInt(document.Get(document.Resolve(space.items[1]), "N"), 0) : 0;
        if (n == 1 || n == 3) return components = unsigned(n), true;
        if ((family.IsName("Indexed") || family.IsName("I")) && space.items.size() == 4) {
            const PdfObject& base = document.Resolve(space.items[1]);
            const PdfObject& lookup = document.Resolve(space.items[3]);
            const std::string table = lookup.Is(Kind::Stream) ? document.Decoded(lookup, 1 << 20).bytes : lookup.text;
            const bool grey = base.IsName("DeviceGray") || base.IsName("G");
            const bool rgb = base.IsName("DeviceRGB") || base.IsName("RGB");
            const std::size_t size = grey ? 1 : 3;
            const std::int64_t high = PdfInt(document.Resolve(space.items[2]), -1);
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


// How an image's samples become rows (coding, filters, colours, /Decode), from its dictionary
// alone; `resources` names the colour spaces an inline image refers to. A problem with
// `leave` set is a picture that is no drawing; otherwise the document is refused.
bool Describe(PdfDocument& document, const PdfObject& image, const PdfObject* resources, int threshold, bool asMask,
              PdfPagePicture& picture, bool& leave) {
    std::string& problem = picture.problem;
    leave = false;
    auto out = [&](std::string why) {
        problem = std::move(why);
        leave = true;
        return false;
    };
    const bool mask = asMask || BoolOf(image.Find("ImageMask") ? &document.Resolve(*image.Find("ImageMask")) : nullptr, false);
    const PdfObject& bitsObject = document.Get(image, "BitsPerComponent");
    std::int64_t bits = mask ? 1 : 0;
    if (!mask && !PdfWhole(bitsObject, 1, 32, bits)) return out("its picture has " + SizeText(bitsObject) + " bits a component, which is not read");
    picture.filters = document.Filters(image);
    const std::string last = picture.filters.empty() ? std::string() : picture.filters.back().name;
    for (std::size_t i = 0; i + 1 < picture.filters.size(); ++i)
        if (IsPdfImageFilter(picture.filters[i].name)) return problem = "its filters go on after " + picture.filters[i].name, false;
    if ((last == "DCTDecode" || last == "DCT") && !asMask) {
        if (threshold < 0)
            return out("its picture is a JPEG (DCTDecode): --threshold N makes pels below N per cent of full lightness black");
        picture.coding = PdfPagePicture::Coding::Jpeg;
        picture.threshold = threshold;
        return true;
    }
    if (last == "DCTDecode" || last == "DCT") return out("its mask is a JPEG (DCTDecode), which is not read");
    if (last == "JPXDecode") return out("its picture is a JPEG 2000 (JPXDecode), not read");
    if (last == "JBIG2Decode") return out("its picture is coded in JBIG2, which is not read");
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8)
        return out("its picture has " + std::to_string(bits) + " bits a component, which is not read");
    unsigned components = 1;
    std::vector<std::array<std::uint8_t, 3>> palette;
    if (!mask) {
        PdfObject named = document.Get(image, "ColorSpace");
        // An inline image's space may be a name of the page's colour spaces.
        if (named.Is(Kind::Name) && resources && !named.IsName("DeviceGray") && !named.IsName("DeviceRGB")) {
            const PdfObject& space = document.Get(document.Get(*resources, "ColorSpace"), named.text);
            if (!space.Is(Kind::Null)) named = space;
        }
        if (!ColoursOf(document, named, components, palette, problem)) return out(problem);
    }
    bool inverted = false; // a /Decode of [1 0] (or [max 0])
    if (const PdfObject& decode = document.Get(image, "Decode"); decode.Is(Kind::Array) && decode.items.size() >= 2)
        inverted = document.Resolve(decode.items[0]).number > document.Resolve(decode.items[1]).number;
    picture.bits = unsigned(bits);
    picture.components = components;
    picture.threshold = threshold;
    // Every sample value's lightness, and whether it is dark: exact for black and white, by
    // --threshold for the rest.
    if (components == 1) {
        const unsigned values = 1u << bits;
        bool exact = asMask || !palette.empty() || bits == 1;
        for (unsigned v = 0; v < values; ++v) {
            const unsigned sample = inverted ? values - 1 - v : v;
            const std::array<std::uint8_t, 3> c =
                palette.empty() ? std::array<std::uint8_t, 3>{std::uint8_t(sample * 255 / (values - 1)), 0, 0}
                                : palette[std::min<std::size_t>(sample, palette.size() - 1)];
            const unsigned light = palette.empty() ? c[0] : Lightness(c[0], c[1], c[2]);
            const bool black = light == 0, white = palette.empty() ? light == 255 : c[0] == 255 && c[1] == 255 && c[2] == 255;
            exact = exact && (black || white);
            picture.light.push_back(std::uint8_t(black ? 0 : white ? 255 : light));
            picture.dark.push_back(black || (!white && light * 100u < unsigned(std::max(threshold, 0)) * 255u));
        }
        if (bits > 1 && !asMask) {
            // Grey that is only black and white (as some writers give a bilevel picture) is taken
            // as it is; that is known once its samples are decoded.
            picture.blackAndWhiteOnly = !exact && threshold < 0 && palette.empty();
            if (!exact && threshold < 0 && !picture.blackAndWhiteOnly) return out(kColourPels);
            if (picture.blackAndWhiteOnly)
                for (unsigned v = 0; v < values; ++v) picture.dark[v] = (inverted ? values - 1 - v : v) == 0;
        }
    } else if (threshold < 0) {
        return out(kColourPels);
    }
    bool sampleIsBit = true; // a decoded bit is the sample's value
    if (last == "CCITTFaxDecode" || last == "CCF") {
        const PdfObject& parms = picture.filters.back().parms;
        auto parm = [&](const char* key) { return parms.Find(key) ? document.Resolve(*parms.Find(key)) : PdfObject(); };
        const std::int64_t k = PdfInt(parm("K"), 0), columns = PdfInt(parm("Columns"), 1728), rows = PdfInt(parm("Rows"), 0);
        const PdfObject blackIs1 = parm("BlackIs1"), aligned = parm("EncodedByteAlign");
        picture.aligned = BoolOf(&aligned, false);
        if (columns != std::int64_t(picture.width))
            return problem = "its CCITT /Columns " + std::to_string(columns) + " is not its /Width " + std::to_string(picture.width), false;
        if (rows > 0 && rows < std::int64_t(picture.height))
            return problem = "its CCITT /Rows " + std::to_string(rows) + " is fewer than its /Height " + std::to_string(picture.height), false;
        if (bits != 1 || components != 1) return problem = "a CCITT picture of more than one bit a pel", false;
        picture.coding = k < 0 ? PdfPagePicture::Coding::Group4 : k == 0 ? PdfPagePicture::Coding::Group3OneD
                                                                        : PdfPagePicture::Coding::Group3TwoD;
        // The decoder's bit is 1 for black runs, which the filter gives as 0 unless BlackIs1.
        sampleIsBit = BoolOf(&blackIs1, false);
    }
    if (bits > 1 || components > 1) return true;
    // The bit as black: the bit as the sample, through /Decode, then the colour space.
    const bool bitIsIndex = sampleIsBit != inverted; // a set bit gives sample 1 after /Decode
    if (!palette.empty()) {
        bool dark[2];
        std::uint16_t rgb[2][3];
        for (int i = 0; i < 2; ++i)
            for (int c = 0; c < 3; ++c) rgb[i][c] = std::uint16_t(palette[std::min<std::size_t>(std::size_t(i), palette.size() - 1)][std::size_t(c)] * 257);
        if (!PaletteDark(rgb[0], rgb[1], threshold, dark, problem)) return out(problem);
        const bool darkWhenSet = dark[bitIsIndex ? 1 : 0], darkWhenClear = dark[bitIsIndex ? 0 : 1];
        picture.filled = darkWhenSet == darkWhenClear;
        picture.fill = darkWhenSet ? 0xFF : 0;
        picture.flip = darkWhenSet ? 0 : 0xFF;
    } else {
        // Grey, and masks as they paint in black: black where the sample after /Decode is 0.
        picture.flip = bitIsIndex ? 0xFF : 0;
    }
    return true;
}

// The picture's /Mask or /SMask, as viewers apply it; false (`leave` set: named, to be left out)
// for a mask that cannot be applied as they do.
bool Masking(PdfDocument& document, const PdfObject& image, PdfPagePicture& picture, bool& leave) {
    leave = false;
    const PdfObject& soft = document.Get(image, "SMask");
    const PdfObject& explicitMask = document.Get(image, "Mask");
    auto out = [&](std::string why) {
        picture.problem = std::move(why);
        leave = true;
        return false;
    };
    if (explicitMask.Is(Kind::Array) && !soft.Is(Kind::Stream)) {
        if (picture.coding != PdfPagePicture::Coding::Samples) return out("its picture's colour key /Mask is on coded rows, which is not read");
        for (const PdfObject& v : explicitMask.items) {
            std::int64_t value = 0;
            if (!PdfWhole(document.Resolve(v), 0, 65535, value)) return out("its colour key /Mask holds " + PdfWritten(document.Resolve(v)));
            picture.colourKey.push_back(unsigned(value));
        }
        if (picture.colourKey.size() != 2 * picture.components) return out("its colour key /Mask is not a range for each component");
        picture.masking = PdfPagePicture::Masking::ColourKey;
        return true;
    }
    const bool isSoft = soft.Is(Kind::Stream);
    const PdfObject& stream = isSoft ? soft : explicitMask;
    if (!stream.Is(Kind::Stream)) return true;
    if (isSoft && document.Get(soft, "Matte").Is(Kind::Array)) return out("its soft mask's /Matte (colours mixed into the mask) is not read");
    auto mask = std::make_shared<PdfPagePicture>();
    std::int64_t width = 0, height = 0;
    if (!PdfWhole(document.Get(stream, "Width"), 1, 1 << 20, width) || !PdfWhole(document.Get(stream, "Height"), 1, 1 << 20, height))
        return out("its mask gives no size");
    if (std::uint32_t(width) != picture.width || std::uint32_t(height) != picture.height)
        return out("its " + std::string(isSoft ? "soft mask" : "mask") + " is " + std::to_string(width) + " by " + std::to_string(height) +
                   " pels, not its picture's " + std::to_string(picture.width) + " by " + std::to_string(picture.height));
    mask->width = picture.width;
    mask->height = picture.height;
    mask->image = &stream;
    bool maskLeave = false;
    // A soft mask is grey (how much is painted); an explicit one paints where its sample is 0, as a stencil does.
    PdfObject grey = stream;
    if (isSoft) {
        grey.entries.erase(std::remove_if(grey.entries.begin(), grey.entries.end(), [](const auto& e) { return e.first == "ColorSpace"; }),
                           grey.entries.end());
        PdfObject name;
        name.kind = Kind::Name;
        name.text = "DeviceGray";
        grey.entries.emplace_back("ColorSpace", name);
    }
    if (!Describe(document, grey, nullptr, isSoft ? 50 : -1, !isSoft, *mask, maskLeave)) {
        if (maskLeave) return out("its mask: " + mask->problem);
        picture.problem = "its mask: " + mask->problem;
        return false;
    }
    if (mask->coding == PdfPagePicture::Coding::Jpeg) return out("its mask is a JPEG, which is not read");
    picture.mask = std::move(mask);
    picture.masking = isSoft ? PdfPagePicture::Masking::Soft : PdfPagePicture::Masking::Stencil;
    return true;
}

} // namespace

namespace {

// One placed image's size, data, card and colours; false with its problem (`leave` set where it
// is no drawing).
bool DescribePlaced(PdfDocument& document, const Placed& placed, int threshold, PdfPagePicture& picture, bool& leave) {
    leave = false;
    const PdfObject& image = placed.image ? *placed.image : *placed.inlineDictionary;
    picture.image = placed.image;
    picture.inlineData = placed.inlineData;
    const PdfObject& widthObject = document.Get(image, "Width");
    const PdfObject& heightObject = document.Get(image, "Height");
    std::int64_t width = 0, height = 0;
    if (!PdfWhole(widthObject, 1, std::int64_t(kMaxG4Width), width) || !PdfWhole(heightObject, 1, 0xFFFFFFFFll, height) ||
        std::uint64_t(width) * std::uint64_t(height) > kMaxPicturePels)
        return picture.problem = "its picture gives a size of " + SizeText(widthObject) + " by " + SizeText(heightObject) + " pels", false;
    picture.width = std::uint32_t(width);
    picture.height = std::uint32_t(height);
    // The picture's own card.
    if (const PdfObject& metadata = document.Get(image, "Metadata"); metadata.Is(Kind::Stream)) {
        const PdfDecoded xmp = document.Decoded(metadata);
        if (xmp.problem.empty()) picture.xmp = xmp.bytes;
    }
    if (!Describe(document, image, placed.resources, threshold, false, picture, leave) || !Masking(document, image, picture, leave))
        return false;
    if (picture.coding == PdfPagePicture::Coding::Jpeg && picture.masking != PdfPagePicture::Masking::None)
        return picture.problem = "its picture is a JPEG with a mask, which is not read", leave = true, false;
    return true;
}

// The matrix turned by the page's quarter turns, its placement with it.
Matrix Turned(Matrix m, int rotate) {
    for (int r = 0; r < rotate / 90; ++r) m = {m.b, -m.a, m.d, -m.c, m.f, -m.e};
    return m;
}

// Several images that tile one drawing: each a pel's steps across and down the same, placed on
// whole pels of one grid, none over another, and nothing of the drawing left between them. Their drawing, one matrix for all of it; false
// where they tile none.
bool Tiled(const std::vector<Placed>& placed, const std::vector<std::shared_ptr<PdfPagePicture>>& tiles, int rotate,
           PdfPagePicture& picture, Matrix& whole) {
    struct Vec {
        double x, y;
    };
    auto near = [](const Vec& a, const Vec& b) {
        const double size = std::hypot(a.x, a.y);
        return size > 0 && std::hypot(a.x - b.x, a.y - b.y) <= size * 1e-4;
    };
    std::vector<Vec> origins;
    Vec across{}, down{};
    for (std::size_t k = 0; k < placed.size(); ++k) {
        const Matrix m = Turned(placed[k].ctm, rotate);
        const double w = tiles[k]->width, h = tiles[k]->height;
        const Vec a{m.a / w, m.b / w}, d{-m.c / h, -m.d / h};
        if (k == 0) {
            across = a;
            down = d;
        } else if (!near(across, a) || !near(down, d)) {
            return false;
        }
        origins.push_back({m.c + m.e, m.d + m.f});
    }
    const double det = across.x * down.y - across.y * down.x;
    if (!std::isfinite(det) || std::fabs(det) <= 1e-12 * std::hypot(across.x, across.y) * std::hypot(down.x, down.y)) return false;
    std::vector<std::int64_t> xs, ys;
    for (const Vec& o : origins) {
        const double dx = o.x - origins[0].x, dy = o.y - origins[0].y;
        const double u = (dx * down.y - dy * down.x) / det, v = (across.x * dy - across.y * dx) / det;
        if (!std::isfinite(u) || !std::isfinite(v) || std::fabs(u) > 1e9 || std::fabs(v) > 1e9 || std::fabs(u - std::round(u)) > 0.01 ||
            std::fabs(v - std::round(v)) > 0.01)
            return false;
        xs.push_back(std::llround(u));
        ys.push_back(std::llround(v));
    }
    const std::int64_t left = *std::min_element(xs.begin(), xs.end()), top = *std::min_element(ys.begin(), ys.end());
    std::int64_t right = left, bottom = top;
    for (std::size_t k = 0; k < tiles.size(); ++k) {
        right = std::max(right, xs[k] + tiles[k]->width);
        bottom = std::max(bottom, ys[k] + tiles[k]->height);
        for (std::size_t o = 0; o < k; ++o)
            if (xs[k] < xs[o] + tiles[o]->width && xs[o] < xs[k] + tiles[k]->width && ys[k] < ys[o] + tiles[o]->height &&
                ys[o] < ys[k] + tiles[k]->height)
                return false;
    }
    if (right - left > std::int64_t(kMaxG4Width) || std::uint64_t(right - left) * std::uint64_t(bottom - top) > kMaxPicturePels) return false;
    // Tiles of one drawing cover it whole; pictures with room between them are pictures of their own.
    std::uint64_t area = 0;
    for (const auto& tile : tiles) area += std::uint64_t(tile->width) * tile->height;
    if (area != std::uint64_t(right - left) * std::uint64_t(bottom - top)) return false;
    picture.width = std::uint32_t(right - left);
    picture.height = std::uint32_t(bottom - top);
    for (std::size_t k = 0; k < tiles.size(); ++k)
        picture.tiles.push_back({tiles[k], std::uint32_t(xs[k] - left), std::uint32_t(ys[k] - top)});
    const Vec origin{origins[0].x + left * across.x + top * down.x, origins[0].y + left * across.y + top * down.y};
    whole = {across.x * picture.width, across.y * picture.width, -down.x * picture.height, -down.y * picture.height, 0, 0};
    whole.e = origin.x - whole.c;
    whole.f = origin.y - whole.d;
    picture.coding = PdfPagePicture::Coding::Tiles;
    return true;
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
    if (!page.problem.empty()) return problem = page.problem, picture;
    std::string content;
    if (!PageContent(document, *page.page, content, problem)) return picture;
    ContentWalk walk(document);
    if (!walk.Walk(content, page.resources, Matrix(), 0)) return problem = walk.problem, picture;
    const std::size_t count = walk.placed.size();
    if (count == 0) return leave("its page holds no picture");
    if (count > kMostPlaced) return leave("its page holds more than " + std::to_string(kMostPlaced) + " pictures, not one drawing");
    Matrix m;
    bool out = false;
    if (count == 1) {
        if (!DescribePlaced(document, walk.placed[0], threshold, picture, out)) return out ? leave(problem) : picture;
        m = Turned(walk.placed[0].ctm, page.rotate);
    } else {
        // Strips or tiles of one drawing at one resolution; anything else is several pictures.
        const std::string several = "its page holds " + std::to_string(count) + " pictures, not one drawing";
        std::vector<std::shared_ptr<PdfPagePicture>> tiles;
        for (const Placed& placed : walk.placed) {
            tiles.push_back(std::make_shared<PdfPagePicture>());
            if (!DescribePlaced(document, placed, threshold, *tiles.back(), out) || tiles.back()->coding == PdfPagePicture::Coding::Jpeg)
                return leave(several);
        }
        if (!Tiled(walk.placed, tiles, page.rotate, picture, m)) return leave(several);
    }
    const double across = std::hypot(m.a, m.b) * page.userUnit, down = std::hypot(m.c, m.d) * page.userUnit;
    const double scale = std::fabs(m.a) + std::fabs(m.b) + std::fabs(m.c) + std::fabs(m.d);
    if (!std::isfinite(scale) || !std::isfinite(across) || !std::isfinite(down))
        return problem = "its picture is drawn at a size no page has", picture;
    const bool square = (Sign(m.a, scale) == 0) != (Sign(m.b, scale) == 0) && (Sign(m.c, scale) == 0) != (Sign(m.d, scale) == 0) &&
                        (Sign(m.a, scale) == 0) == (Sign(m.d, scale) == 0);
    if (!square || across <= 0 || down <= 0 || !OrientationOf(m, picture.pelPath, picture.lineProgression))
        return problem = "its picture is drawn turned or slanted by other than quarter turns", picture;
    // Pels per inch, read as a whole number where the page's points give one to a part in 10,000.
    auto dpi = [](double pels, double points) {
        const double v = pels * 72.0 / points;
        return std::fabs(v - std::round(v)) <= v * 1e-4 ? std::round(v) : v;
    };
    picture.dpiX = dpi(double(picture.width), across);
    picture.dpiY = dpi(double(picture.height), down);
    // Refused by its size before anything is decoded.
    auto samples = [](const PdfPagePicture& p) {
        return p.coding == PdfPagePicture::Coding::Samples ? (std::uint64_t(p.width) * p.bits * p.components + 7) / 8 * p.height : 0;
    };
    std::uint64_t bytes = samples(picture);
    for (const PdfPagePicture::Tile& tile : picture.tiles) bytes += samples(*tile.picture);
    if (bytes > document.Budget().Limit() - document.Budget().Spent())
        return problem = "its picture of " + std::to_string(picture.width) + " by " + std::to_string(picture.height) + " pels decodes to " +
                         std::to_string(bytes) + " bytes, more than the " + std::to_string(document.Budget().Limit()) +
                         " a document may decode",
               picture;
    return picture;
}

namespace {

// A picture's bytes as they stand: an inline image's own, or its stream's in the file.
bool StoredBytes(PdfDocument& document, const PdfPagePicture& picture, const std::uint8_t*& data, std::size_t& size, std::string& problem) {
    if (picture.inlineData) {
        data = reinterpret_cast<const std::uint8_t*>(picture.inlineData->data());
        size = picture.inlineData->size();
        return true;
    }
    if (picture.image && document.RawStream(*picture.image, data, size, problem)) return true;
    if (problem.empty()) problem = "its picture has no data";
    return false;
}

} // namespace

bool PdfCodedData(PdfDocument& document, const PdfPagePicture& picture, std::string& bytes, std::string& problem) {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    if (!StoredBytes(document, picture, data, size, problem)) return false;
    if (picture.filters.empty() || IsPdfImageFilter(picture.filters.front().name)) {
        // Coded data as it stands in the file: as large as the file lets it be.
        bytes.assign(reinterpret_cast<const char*>(data), size);
        return true;
    }
    const PdfDecoded decoded = PdfDecode(data, size, picture.filters, PdfLimits::kStream, &document.Budget());
    if (!decoded.problem.empty()) return problem = decoded.problem, false;
    if (!decoded.note.empty()) document.Forgive("its picture: " + decoded.note);
    bytes = decoded.bytes;
    return true;
}

bool PdfKeptGroup4(PdfDocument& document, const PdfPagePicture& picture, std::string& bytes, std::string& note, std::string& problem) {
    if (!picture.MayKeep()) return false;
    if (!PdfCodedData(document, picture, bytes, problem)) return false;
    Group4Decoder decoder(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), picture.width);
    while (decoder.Rows() < picture.height && decoder.NextRow(nullptr)) {
    }
    if (decoder.Rows() < picture.height) {
        problem = "its CCITT data holds " + std::to_string(decoder.Rows()) + " of " + std::to_string(picture.height) + " rows (" +
                  G4StopText(decoder.Stop()) + ")";
        return false;
    }
    if (decoder.NextRow(nullptr)) {
        note = "coded again from its first " + std::to_string(picture.height) + " rows: its Group 4 data holds more";
        bytes.clear();
        return false;
    }
    return true;
}

PdfPictureRows::PdfPictureRows(PdfDocument& document, const PdfPagePicture& picture) : document_(document), picture_(picture) {}

PdfPictureRows::~PdfPictureRows() = default;

bool PdfPictureRows::Fail(std::string why, bool leftOut) {
    if (problem_.empty()) {
        problem_ = std::move(why);
        leftOut_ = leftOut;
    }
    return false;
}

bool PdfPictureRows::Start() {
    started_ = true;
    using Coding = PdfPagePicture::Coding;
    if (picture_.coding == Coding::Jpeg) return Fail("a JPEG is decoded by the caller");
    if (picture_.coding == Coding::Tiles) {
        tiles_.resize(picture_.tiles.size());
        return true;
    }
    if (picture_.mask) mask_ = std::make_unique<PdfPictureRows>(document_, *picture_.mask);
    maskRow_.resize(picture_.masking == PdfPagePicture::Masking::Soft ? picture_.width : RowBytes());
    if (picture_.coding == Coding::Samples) {
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
        std::string why;
        if (!StoredBytes(document_, picture_, data, size, why)) return Fail(why);
        chain_ = std::make_unique<PdfFilterChain>(data, size, picture_.filters, &document_.Budget());
        if (!chain_->Problem().empty()) return Fail(chain_->Problem());
        samples_.resize((std::size_t(picture_.width) * picture_.bits * picture_.components + 7) / 8);
        return true;
    }
    std::string why;
    if (!PdfCodedData(document_, picture_, coded_, why)) return Fail(why);
    const auto* data = reinterpret_cast<const std::uint8_t*>(coded_.data());
    if (picture_.coding == Coding::Group4) {
        g4_ = std::make_unique<Group4Decoder>(data, coded_.size(), picture_.width);
        if (picture_.aligned) g4_->AlignRows();
    } else {
        g3_ = std::make_unique<Group3Decoder>(data, coded_.size(), picture_.width,
                                              picture_.coding == Coding::Group3OneD ? G3Coding::OneD : G3Coding::TwoD);
        g3_->EndOfLineOptional();
        if (picture_.aligned) g3_->AlignRows();
    }
    return true;
}

// The next row's `size` bytes of samples from the filters, or the reason there are none.
bool PdfPictureRows::ReadRow(std::uint8_t* out, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const std::size_t n = chain_->Read(out + got, size - got);
        if (n == 0) break;
        got += n;
    }
    if (!chain_->Problem().empty()) return Fail(chain_->Problem());
    if (got < size) return Fail("its samples hold " + std::to_string(row_) + " of " + std::to_string(picture_.height) + " rows");
    return true;
}

// One row of samples: its pels' darkness into `row` (black 1) and their lightness into `levels`
// (either may be null).
bool PdfPictureRows::Samples(std::uint8_t* row, std::uint8_t* levels) {
    if (!ReadRow(samples_.data(), samples_.size())) return false;
    const std::uint8_t* in = samples_.data();
    const unsigned bits = picture_.bits, most = (1u << bits) - 1;
    auto sample = [&](std::size_t index) {
        const std::size_t bit = index * bits;
        return (in[bit / 8] >> (8 - bits - bit % 8)) & most;
    };
    const std::size_t bytes = RowBytes();
    if (row) std::memset(row, 0, bytes);
    const bool keyed = picture_.masking == PdfPagePicture::Masking::ColourKey;
    if (bits == 8 && picture_.components == 1 && !keyed) {
        // Grey a byte a pel, as most writers give it: straight through the tables.
        for (std::uint32_t x = 0; x < picture_.width; ++x) {
            const unsigned v = in[x];
            if (picture_.blackAndWhiteOnly && v != 0 && v != most) return Fail(kGreyPels, true);
            if (picture_.dark[v] && row) row[x / 8] |= std::uint8_t(0x80 >> (x % 8));
            if (levels) levels[x] = picture_.blackAndWhiteOnly ? (picture_.dark[v] ? 0 : 255) : picture_.light[v];
        }
        return true;
    }
    for (std::uint32_t x = 0; x < picture_.width; ++x) {
        bool black;
        unsigned light;
        bool masked = keyed;
        if (picture_.components == 1) {
            const unsigned v = sample(x);
            if (keyed) masked = v >= picture_.colourKey[0] && v <= picture_.colourKey[1];
            if (picture_.blackAndWhiteOnly && v != 0 && v != most && !masked) return Fail(kGreyPels, true);
            black = picture_.dark[v] != 0;
            light = picture_.blackAndWhiteOnly ? (black ? 0 : 255) : picture_.light[v];
        } else {
            std::array<unsigned, 3> c{};
            for (unsigned k = 0; k < 3; ++k) {
                const unsigned v = sample(std::size_t(x) * 3 + k);
                c[k] = v * 255 / most;
                if (keyed) masked = masked && v >= picture_.colourKey[2 * k] && v <= picture_.colourKey[2 * k + 1];
            }
            light = Lightness(c[0], c[1], c[2]);
            black = light * 100u < unsigned(picture_.threshold) * 255u;
        }
        if (masked) {
            black = false;
            light = 255;
        }
        if (black && row) row[x / 8] |= std::uint8_t(0x80 >> (x % 8));
        if (levels) levels[x] = std::uint8_t(light);
    }
    return true;
}

bool PdfPictureRows::NextLevels(std::uint8_t* levels) {
    if (!problem_.empty() || row_ >= picture_.height) return false;
    if (!started_ && !Start()) return false;
    if (picture_.coding == PdfPagePicture::Coding::Samples && picture_.bits > 1) {
        if (!Samples(nullptr, levels)) return false;
        ++row_;
        return true;
    }
    // One bit a pel: its levels are black and white.
    bits_.resize(RowBytes());
    if (!NextRow(bits_.data())) return false;
    for (std::uint32_t x = 0; x < picture_.width; ++x) levels[x] = bits_[x / 8] & (0x80 >> (x % 8)) ? 0 : 255;
    return true;
}

bool PdfPictureRows::NextRow(std::uint8_t* row) {
    if (!problem_.empty() || row_ >= picture_.height) return false;
    if (!started_ && !Start()) return false;
    const std::size_t bytes = RowBytes();
    const bool soft = picture_.masking == PdfPagePicture::Masking::Soft;
    // A soft mask mixes the pels' lightness, where the samples give more than black and white.
    const bool shades = soft && (picture_.bits > 1 || picture_.components > 1);
    if (picture_.coding == PdfPagePicture::Coding::Tiles) {
        if (!TiledRow(row)) return false;
    } else if (g4_ || g3_) {
        const bool got = g4_ ? g4_->NextRow(row) : g3_->NextRow(row);
        if (!got) {
            const G4Stop stop = g4_ ? g4_->Stop() : g3_->Stop();
            return Fail("its CCITT data holds " + std::to_string(row_) + " of " + std::to_string(picture_.height) + " rows (" +
                        G4StopText(stop) + ")");
        }
    } else if (picture_.bits > 1 || picture_.components > 1 || picture_.masking == PdfPagePicture::Masking::ColourKey) {
        if (shades) light_.resize(picture_.width);
        if (!Samples(row, shades ? light_.data() : nullptr)) return false;
    } else if (!ReadRow(row, bytes)) {
        return false;
    }
    if (g4_ || g3_ || (picture_.bits == 1 && picture_.components == 1 && picture_.masking != PdfPagePicture::Masking::ColourKey))
        for (std::size_t i = 0; i < bytes; ++i) row[i] = picture_.filled ? picture_.fill : std::uint8_t(row[i] ^ picture_.flip);
    if (picture_.width & 7) row[bytes - 1] &= std::uint8_t(0xFF << (8 - (picture_.width & 7)));
    if (mask_) {
        if (!soft) {
            // A stencil's black pels are where the picture is painted.
            if (!mask_->NextRow(maskRow_.data())) return Fail("its mask: " + mask_->Problem(), mask_->LeftOut());
            for (std::size_t i = 0; i < bytes; ++i) row[i] &= maskRow_[i];
        } else {
            if (!mask_->NextLevels(maskRow_.data())) return Fail("its soft mask: " + mask_->Problem(), mask_->LeftOut());
            for (std::uint32_t x = 0; x < picture_.width; ++x) {
                const unsigned alpha = maskRow_[x];
                const std::uint8_t bit = std::uint8_t(0x80 >> (x % 8));
                if (alpha == 255) continue;
                if (alpha == 0) {
                    row[x / 8] &= std::uint8_t(~bit);
                    continue;
                }
                // Partly painted on white: as light as the mix.
                const unsigned base = shades ? light_[x] : (row[x / 8] & bit ? 0u : 255u);
                const unsigned mixed = 255 - alpha * (255 - base) / 255;
                if (mixed == 255) {
                    row[x / 8] &= std::uint8_t(~bit);
                } else if (picture_.threshold < 0) {
                    return Fail("its soft mask is partly transparent: --threshold N makes pels below N per cent of full lightness black",
                                true);
                } else if (mixed * 100u < unsigned(picture_.threshold) * 255u) {
                    row[x / 8] |= bit;
                } else {
                    row[x / 8] &= std::uint8_t(~bit);
                }
            }
        }
    }
    ++row_;
    return true;
}

// A row of a drawing of tiles: each tile's row that crosses it, in its place; a tile's rows are
// read while the drawing's rows cross it, and let go after its last.
bool PdfPictureRows::TiledRow(std::uint8_t* row) {
    const std::size_t bytes = RowBytes();
    std::memset(row, 0, bytes);
    for (std::size_t k = 0; k < picture_.tiles.size(); ++k) {
        const PdfPagePicture::Tile& tile = picture_.tiles[k];
        if (row_ < tile.y || row_ - tile.y >= tile.picture->height) continue;
        if (!tiles_[k]) tiles_[k] = std::make_unique<PdfPictureRows>(document_, *tile.picture);
        tileRow_.resize(tiles_[k]->RowBytes());
        if (!tiles_[k]->NextRow(tileRow_.data()))
            return Fail("its picture " + std::to_string(k + 1) + " of " + std::to_string(picture_.tiles.size()) + ": " + tiles_[k]->Problem(),
                        tiles_[k]->LeftOut());
        if (row_ + 1 - tile.y == tile.picture->height) tiles_[k].reset();
        const std::size_t at = tile.x / 8;
        const unsigned shift = tile.x % 8;
        for (std::size_t i = 0; i < tileRow_.size(); ++i) {
            row[at + i] |= std::uint8_t(tileRow_[i] >> shift);
            if (shift && at + i + 1 < bytes) row[at + i + 1] |= std::uint8_t(tileRow_[i] << (8 - shift));
        }
    }
    return true;
}

bool PdfPictureRows::MoreRows() {
    if (row_ < picture_.height || !problem_.empty()) return false;
    if (g4_) return g4_->NextRow(nullptr);
    if (g3_) return g3_->NextRow(nullptr);
    return false;
}

} // namespace scanleaf::core
