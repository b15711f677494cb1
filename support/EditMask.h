#pragma once
// Edit masks as the suite's mask edits understand them. Qt's inputMask is not the same
// thing (its "9" is required and its text() drops blanks), so the mask edit control keeps
// its text by these rules and uses Qt only to draw and to take keys.
//
// Mask text: "<mask>;<save>;<blank>", the two fields optional. <save> "0" means the
// literals are not part of the edit's Text; anything else means they are. <blank> is the
// character shown in empty positions ("_" by default). In <mask>:
//   L letter, required      l letter, optional
//   A letter or digit, req. a letter or digit, optional
//   C any character, req.   c any character, optional
//   0 digit, required       9 digit, optional       # digit, "+", "-" or blank, optional
//   >  upper case from here  <  lower case from here  <>  case left as typed
//   !  empty positions are kept at the front rather than the end (anywhere in the mask)
//   \x the character x itself     _ a blank shown as a literal
//   /  the process's date separator   :  the process's time separator (FormatSettings.h)
//   any other character is a literal.
// Positions count characters (code points) of UTF-8 text; a Chinese character is one.
//
// API:
//   EditMask m("9999/99/99;1; ");
//   m.length(), m.slot(i), m.isEditable(i), m.isRequired(i), m.nextEditable(i), m.previousEditable(i)
//   m.acceptChar(i, ch)             -> the character stored when ch is typed at i, or nothing
//   m.typeChar(edit, cursor, ch)    -> edit text and cursor after a key press, or nothing
//   m.clearRange(edit, start, n)    -> edit text with positions blanked (Delete, Backspace)
//   m.clearedEditText()             -> what a cleared edit holds ("    /  /  ")
//   m.editTextFromText(text)        -> what the edit holds after Text := text
//   m.textFromEditText(edit)        -> what Text reads (literals kept when saved, blanks as " ")
//   m.clearedText()                 -> Text of a cleared edit
//   m.stripLiterals(edit)           -> the edit text without literals, empty ends trimmed
//   m.firstMissing(edit)            -> first required position left empty, -1 when complete
//   FormatMaskText(mask, value)     -> value laid out under the mask, blanks as " "
//   StripMaskLiterals (Helpers.h)   -> value put through a mask and read back without it

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class EditMask {
public:
    enum class CharClass { Literal, DateSeparator, TimeSeparator, Letter, LetterOrDigit, Any, Digit, DigitOrSign };
    enum class Casing { AsTyped, Upper, Lower };

    // One character position of the edit text.
    struct Slot {
        CharClass cls = CharClass::Literal;
        char32_t literal = 0;     // for Literal
        bool required = false;
        Casing casing = Casing::AsTyped;

        bool editable() const { return cls >= CharClass::Letter; }
        // The character a literal position shows (separators as currently set).
        char32_t shown() const;
    };

    struct Typed {
        std::string editText;
        int cursor = 0;
    };

    EditMask() = default;
    explicit EditMask(std::string_view mask);

    const std::string& text() const { return mask_; }
    bool isMasked() const { return !slots_.empty(); }
    bool saveLiterals() const { return saveLiterals_; }
    char32_t blank() const { return blank_; }
    bool reverse() const { return reverse_; }
    int length() const { return int(slots_.size()); }
    const Slot& slot(int pos) const { return slots_.at(std::size_t(pos)); }
    const std::vector<Slot>& positions() const { return slots_; }

    bool isEditable(int pos) const;
    bool isRequired(int pos) const;
    // First editable position at or after pos; -1 when there is none.
    int nextEditable(int pos) const;
    // Last editable position before pos; -1 when there is none.
    int previousEditable(int pos) const;

    std::optional<char32_t> acceptChar(int pos, char32_t ch) const;
    // A key press at the cursor: on a literal, typing that literal steps over it and any
    // other character goes to the next editable position. Positions are overwritten.
    std::optional<Typed> typeChar(std::string_view editText, int cursor, char32_t ch) const;
    // Editable positions in [start, start + count) become blank; literals stay.
    std::string clearRange(std::string_view editText, int start, int count) const;

    std::string clearedEditText() const;
    std::string editTextFromText(std::string_view text) const;
    std::string textFromEditText(std::string_view editText) const;
    std::string clearedText() const;
    std::string stripLiterals(std::string_view editText) const;
    int firstMissing(std::string_view editText) const;

    // Layout of a value under the mask with the given blank: literals inserted at their
    // places, missing positions blank (the value is expected without literals).
    std::u32string layout(std::u32string_view value, char32_t blank) const;
    // Layout of a value that already holds the literals: each part between literals is
    // padded or cut to its width.
    std::u32string padLiterals(std::u32string_view value, char32_t blank) const;

private:
    std::string mask_;
    std::vector<Slot> slots_;
    bool saveLiterals_ = true;
    char32_t blank_ = U'_';
    bool reverse_ = false;
};

std::string FormatMaskText(std::string_view mask, std::string_view value);
