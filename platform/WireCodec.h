#pragma once
// Variants as MessagePack for the application server's connections, written and read by
// the msgpack-cxx library. Every kind keeps its identity across the wire:
//   Empty nil            Bool true/false        Int integer            Double float64
//   String str (UTF-8, the bytes as they are)   Null ext 1, no data
//   Date ext 2: the OLE day count as float64 (big-endian)
//   AnsiString ext 3: code page (int32, big-endian), then the bytes
//   Int64 ext 4: int64 (big-endian), so that it stays apart from Int
//   Array: an array whose first element is the bounds [low, high] or
//          [low1, high1, low2, high2], then the elements, the last dimension fastest
// An integer of a foreign writer reads as Int when it fits 32 bits, else as Int64.
// Automation objects cannot cross.

#include "platform/Variant.h"

#include <string>
#include <string_view>

// VariantError for an automation object anywhere in the value.
std::string EncodeWireValue(const Variant& value);
// VariantError for bytes that are not exactly one value of the layout above (truncated,
// trailing bytes, nested deeper than 64 arrays, an unknown kind, bounds that do not fit
// the elements).
Variant DecodeWireValue(std::string_view bytes);
