#pragma once
// Variants as MessagePack for the application server's connections, written and read by
// the msgpack-cxx library. Every kind keeps its identity across the wire:
//   Empty nil            Bool true/false        Int integer            Double float64
//   String str (valid UTF-8, the bytes as they are)   Null ext 1, no data
//   Date ext 2: the OLE day count as float64 (big-endian)
//   AnsiString ext 3: code page (int32, big-endian), then the bytes; code page 0 holds
//          raw bytes (a file's, as DownLoadFile sends them)
//   Int64 ext 4: int64 (big-endian), so that it stays apart from Int
//   Array: an array whose first element is the bounds [low, high] or
//          [low1, high1, low2, high2], then the elements, the last dimension fastest
// An integer of a foreign writer reads as Int when it fits 32 bits, else as Int64.
// Automation objects cannot cross.

#include "platform/Variant.h"

#include <string>
#include <string_view>

// The most elements one array of a decoded value may have, in each dimension and in all:
// 16,777,216: room for a million-row answer sixteen times over (QueryMaxRows=1000000 is
// one array of a million rows, each row an array of its columns), while the Variants of
// one array (48 bytes each) stay within 768 MiB.
constexpr int kMaxWireArrayElements = 1 << 24;

// VariantError for an automation object anywhere in the value.
std::string EncodeWireValue(const Variant& value);
// VariantError ("Malformed value from the connection: ...") for bytes that are not exactly
// one value of the layout above: truncated, trailing bytes, nested deeper than 64 arrays,
// an unknown kind, a text that is not UTF-8, a code-page text in a code page no Variant
// carries (0 for raw bytes, or one CodePage.h converts), bounds that do not fit the
// elements, a dimension whose count does not fit an int or passes the bound above, a high
// bound of INT_MAX (readers loop up to the high bound), more than two dimensions, or more
// elements in all than the bytes could hold. Every count is checked before anything is
// allocated for it or looped over.
Variant DecodeWireValue(std::string_view bytes);
