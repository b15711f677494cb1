#pragma once
// SQL WHERE text from condition values, as the condition list and the select panels
// produce them:
//   scalar                  a lower bound only; Empty or Null: no condition
//   [#4, low, high]         a range (element 0 the one-character text with code 4)
//   [#5, v1, v2, ...]       a list (code 5); an element that is an array gives its element 0
//   [low, high]             any other array: a plain pair
// A bound that is Empty, Null, missing or an empty text is not given.
//
// Kinds: 1 text column (values quoted, inner quotes doubled); 2 and 3 numeric columns
// (values trimmed and written as numbers; a value that is no number is quoted as text,
// so that user text never becomes SQL). Other kinds add nothing. Lists are always quoted.

#include "platform/Variant.h"

#include <string>
#include <string_view>

// -1 scalar or plain pair, 0 range, 1 list.
int ConditionValueKind(const Variant& value);
// Builds the condition for one column into `condition` (cleared first) and appends it
// to `where`: "Where " + condition when where is empty, else where + " and " + condition.
// The column text is used as given, so it may be an expression such as "TA001+TA002".
void AppendCondition(std::string& where, std::string_view column, const Variant& value, std::string& condition,
                     int kind);
// One piece of a condition-value array: values[index], its part-th entry (range and list
// markers skipped, part clamped to the element), and that entry's subpart-th element.
// Unassigned for an index outside values; Empty and Null pieces read as the empty text.
Variant GetConditionValue(const Variant& values, int index, int part = -1, int subpart = -1);

// The one-character marker texts.
Variant rangeMarker();
Variant listMarker();
// 'text' with inner quotes doubled.
std::string quotedSql(std::string_view text);
