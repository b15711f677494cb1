// The edit-mask engine: any mask text, any text put into the edit, any keys typed at any
// cursor, Delete and Backspace over any range, under changing separators. Properties: the
// edit text always has one character per mask position, the cursor stays inside the edit,
// and (but where "!" aligns it) reading the Text of an edit and putting it back gives the
// same Text.

#include "FuzzSupport.h"

#include "support/EditMask.h"
#include "support/FormatSettings.h"
#include "support/Utf8.h"

namespace {

std::size_t points(const std::string& s)
{
    return toUtf32(s).size();
}

char32_t keyOf(fuzz::Input& in)
{
    const std::uint8_t b = in.byte();
    if (b < 0x80)
        return char32_t(b);
    if (b < 0xC0)
        return U'中' + (b - 0x80);
    if (b < 0xF0)
        return char32_t(b) + 0x80;   // Latin-1 letters
    return char32_t(0xD800 + (b - 0xF0));   // a surrogate: no character at all
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const std::uint8_t separators = in.byte();
    setDateSeparator(separators & 1 ? U'-' : separators & 2 ? U'年' : U'/');
    setTimeSeparator(separators & 4 ? U'.' : U':');
    const std::string maskText = in.text();
    const std::string value = in.text();
    const EditMask mask(maskText);
    (void)FormatMaskText(maskText, value);
    if (!mask.isMasked()) {
        resetFormatSettings();
        return 0;
    }
    const std::size_t width = std::size_t(mask.length());
    std::string edit = mask.editTextFromText(value);
    fuzz::check(points(edit) == width, "the edit text has one character per position", maskText + "\n" + edit);
    fuzz::check(points(mask.clearedEditText()) == width, "a cleared edit has one character per position", maskText);
    (void)mask.clearedText();

    int cursor = 0;
    while (!in.empty()) {
        const std::uint8_t op = in.byte();
        if (op % 4 == 3) {
            const int start = int(in.byte()) - 8, count = int(in.byte()) - 8;
            edit = mask.clearRange(edit, start, count);
        } else if (op % 4 == 2) {
            cursor = int(in.byte() % (width + 2)) - 1;
        } else {
            if (const auto typed = mask.typeChar(edit, cursor, keyOf(in))) {
                edit = typed->editText;
                cursor = typed->cursor;
                fuzz::check(cursor >= 0 && cursor <= int(width), "the cursor stays in the edit", maskText);
            }
        }
        fuzz::check(points(edit) == width, "typing keeps one character per position", maskText + "\n" + edit);
        (void)mask.firstMissing(edit);
        (void)mask.stripLiterals(edit);
    }
    // A mask with "!" aligns a Text put back to the right, so only other masks round-trip.
    // A typed character (or an empty position, read as a blank) that equals a literal of the
    // mask cannot be told from it when the Text is put back: the literals cut the Text into
    // its parts.
    const std::u32string shown = toUtf32(edit);
    for (int i = 0; i < mask.length(); ++i)
        if (mask.isEditable(i))
            for (int k = 0; k < mask.length(); ++k)
                if (!mask.isEditable(k) && std::size_t(i) < shown.size() &&
                    (mask.slot(k).shown() == shown[std::size_t(i)] || mask.slot(k).shown() == U' ' ||
                     mask.slot(k).shown() == mask.blank())) {
                    resetFormatSettings();
                    return 0;
                }
    if (mask.reverse()) {
        resetFormatSettings();
        return 0;
    }
    const std::string text = mask.textFromEditText(edit);
    const std::string again = mask.textFromEditText(mask.editTextFromText(text));
    fuzz::check(again == text, "the Text read from an edit puts back the same edit", maskText + "\n" + text + "\n" + again);
    resetFormatSettings();
    return 0;
}
