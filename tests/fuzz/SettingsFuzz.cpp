// A settings section's values as the profile functions hand them over: random name and position
// lists, numbers of every size, and the sub-fields they give cut from and spliced into random
// values. What must hold: a refused section adds nothing; an accepted one gives sub-fields that
// lie inside the slot; a splice keeps the value's other characters and reads back as the text.
#include "cardcore/SettingsLines.h"
#include "core/cals/SubField.h"
#include "core/cals/TagList.h"
#include "core/native/StandIns.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace scanleaf::core;
using fuzzsupport::DrawText;

namespace {

const Text kAlphabet = SL_T("ab-;, +0123456789");

Text Pad(Text text, std::size_t width) {
    text.resize(std::max(text.size(), width), Unit(' '));
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The same bytes as a whole settings file, line by line: every slip and key on a line it has.
    {
        const Text file(data, data + size);
        std::size_t lines = 1;
        for (Unit c : file) lines += c == '\n';
        const SettingsLines read = ReadSettingsLines(file);
        for (const SettingsSlip& slip : read.slips) FUZZ_CHECK(slip.line >= 1 && slip.line <= lines && !slip.message.empty());
        for (const auto& section : read.keys)
            for (const auto& key : section.second) FUZZ_CHECK(key.second >= 1 && key.second <= lines);
    }
    FuzzedDataProvider in(data, size);
    const Text name = DrawText(in, 20, SL_T("abc"));
    SectionAnswers answers;
    answers.readonly = in.ConsumeIntegral<int>();
    answers.names = DrawText(in, 40, kAlphabet);
    answers.positions = DrawText(in, 60, kAlphabet);
    const Text value = DrawText(in, 130, SL_T("xyz "));

    // Numbers as "%d" reads them: never past the text, never out of 32 bits.
    std::size_t pos = 0;
    int number = 0;
    if (ReadDecimal(answers.positions, pos, number)) FUZZ_CHECK(pos > 0 && pos <= answers.positions.size());
    Text width, height;
    ReadPixelCounts(value, width, height);

    TagList list(StandInLowerCaser(), StandInCodePage(1252));
    if (!list.AddRecord(name, value, answers)) {
        FUZZ_CHECK(list.tags.empty());
        return 0;
    }
    const Tag& tag = list.tags.front();
    FUZZ_CHECK(tag.readOnly == (answers.readonly == 1));
    const int room = kRecordTextWidth - int(name.size());
    FUZZ_CHECK(tag.valueWidth <= std::max(room, 0) || tag.subTags.empty());
    for (const SubTag& sub : tag.subTags) {
        FUZZ_CHECK(sub.start <= sub.end && sub.end <= room && sub.end <= tag.valueWidth);
        const Text text = DrawText(in, 30, SL_T("pq "));
        const Text cut = CutSubField(value, sub.start, sub.end);
        FUZZ_CHECK(cut.size() <= std::size_t(sub.end - sub.start + 1));
        if (sub.start < 1) continue; // reads from the first character, writes before it
        const Text spliced = SpliceSubField(value, text, sub.start, sub.end);
        const std::size_t fieldWidth = std::size_t(sub.end - sub.start + 1);
        FUZZ_CHECK(CutSubField(spliced, sub.start, sub.end) == TrimTrailingBlanks(Pad(text, fieldWidth).substr(0, fieldWidth)));
        // Every character outside the field is the value's (blanks where the value was shorter;
        // blanks that end the result are dropped, the value's own before the field too).
        const Text before = Pad(value, std::size_t(sub.end)), after = Pad(spliced, std::size_t(sub.end));
        const std::size_t head = std::size_t(sub.start - 1);
        if (spliced.size() >= head)
            FUZZ_CHECK(before.substr(0, head) == after.substr(0, head));
        else
            FUZZ_CHECK(TrimTrailingBlanks(before.substr(0, head)) == spliced);
        FUZZ_CHECK(TrimTrailingBlanks(before.substr(std::size_t(sub.end))) == TrimTrailingBlanks(after.substr(std::size_t(sub.end))));
    }
    return 0;
}
