#pragma once
// Variants as bytes, so that a value can be stored (the job queue keeps every request)
// and sent over a connection, and read back exactly as it was: every kind (Empty and Null
// apart, Int apart from Int64, dates, code-page texts with their code page), arrays with
// their bounds and dimensions, at any depth.
//
// The bytes are MessagePack, so that any MessagePack reader can take them apart:
//   Empty nil            Bool true/false        Int int32 (0xd2)      Int64 int64 (0xd3)
//   Double float64       String str (UTF-8)     Null ext 1, no data
//   Date ext 2: the OLE day count as float64    AnsiString ext 3: code page (int32), bytes
//   Array: an array whose first element is the bounds [low, high] or
//          [low1, high1, low2, high2] (int32), then the elements, the last dimension
//          varying fastest
// Reading also takes the other integer and float forms a foreign writer may use (as Int
// when they fit 32 bits, else Int64; float32 as Double). Automation objects cannot be
// written.

#include "platform/Variant.h"

#include <string>
#include <string_view>

// VariantError for an automation object anywhere in the value.
std::string EncodeVariant(const Variant& value);
// VariantError for bytes that are not one whole value of the layout above: truncated,
// followed by more bytes, nested deeper than 64 arrays, or of a kind it does not know.
Variant DecodeVariant(std::string_view bytes);

// The same as text (base64), for text columns and files.
std::string EncodeVariantText(const Variant& value);
Variant DecodeVariantText(std::string_view text);

std::string EncodeBase64(std::string_view bytes);
// Exception for a character outside the alphabet or a wrong length.
std::string DecodeBase64(std::string_view text);
