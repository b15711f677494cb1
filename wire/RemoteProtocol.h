#pragma once
// What the application server and its remote clients say to each other over TCP.
//
// Every message is one frame: a 4-byte big-endian length, then that many bytes holding one
// Variant (WireCodec.h), a list from 0 whose first element names the message. A frame
// longer than the receiver's limit, or one that does not decode, ends that connection. A
// client also ends it on a message whose parts are not of the kind and shape given below,
// and fails the call saying the server's answer could not be read.
//
//   server, on accepting   ["QVAS", version, challenge, tls, features]
//                          version: a whole number; challenge: 32 hex digits, new each
//                          time; tls: true or false, the connection changes to TLS next;
//                          features: a list of names ("CALLBACKS")
//   client                 ["HELLO", user, company, proof]  proof: AuthProof(secret, challenge, user, company)
//   server                 ["OK"] or ["REFUSED", reason], and after a refusal it closes
//   then, one request at a time, each answered before the next:
//   ["ECHO", value]                    -> ["OK", value]   (a check of the connection)
//   ["CREATE", progId]                 -> ["OK", objectId]   (an Int, not below 0)
//   ["INVOKE", objectId, name, args]   -> ["OK", result, args as the member left them]
//   ["INVOKEWITH", objectId, name, args, positions]
//                                      the arguments at positions are the client's callbacks
//                                      (sent Empty, and Empty in the answer): while the member
//                                      runs, each call of one comes as a frame
//                                      ["CALL", position, method, args] the client answers
//                                      with ["RETURN", value] or ["FAILED", message]; then
//                                      ["OK", ...] as for INVOKE
//   ["GET", objectId, name]            -> ["OK", value]
//   ["PUT", objectId, name, value]     -> ["OK"]
//   any request                        -> ["ERROR", message] when it failed
// args is a one-dimensional array 0..n-1 (by-reference arguments come back changed).

#include "platform/Variant.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace remote {

constexpr int kProtocolVersion = 1;
constexpr const char* kGreeting = "QVAS";
// The largest frame either side takes unless configured otherwise.
constexpr std::uint32_t kDefaultMaxFrame = 128u * 1024 * 1024;
constexpr std::size_t kHeaderBytes = 4;
// A server that takes INVOKEWITH names this among the features of its greeting.
constexpr const char* kCallbacksFeature = "CALLBACKS";

std::string FrameHeader(std::size_t payloadBytes);
std::uint32_t FrameLength(const unsigned char header[kHeaderBytes]);
// The frame of a message (VariantError for an automation object in it).
std::string Frame(const Variant& message);

// A fresh challenge: 16 random bytes as 32 lower-case hex digits.
std::string NewChallenge();
// HMAC-SHA256 under the installation's secret of the challenge, user and company, as
// lower-case hex: it proves the secret without sending it.
std::string AuthProof(std::string_view secret, std::string_view challenge, std::string_view user,
                      std::string_view company);
// Comparison that takes the same time wherever the texts differ.
bool SameProof(std::string_view a, std::string_view b);

// The message name of a decoded message ([0] as text), empty when it has none.
std::string MessageName(const Variant& message);

} // namespace remote
