// What a peer can make this room hold. Every buffer, list and nesting level that input can grow
// is capped by one of these; input beyond a cap is refused with a reason, never truncated
// silently and never allowed to allocate past it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vesk_ember {

// One S101 frame after unescaping: the header, at most one packet of payload, the CRC.
constexpr std::size_t kMaxFrameBytes = 64 * 1024;
// Payload bytes we put in one outgoing packet; longer messages go out as several packets.
constexpr std::size_t kPacketPayloadBytes = 1024;
// One Glow message joined from its packets.
constexpr std::size_t kMaxMessageBytes = 1024 * 1024;
// Bytes a stream decoder skips between frames before it reports the stream as garbage.
constexpr std::size_t kMaxGarbageBytes = 4096;

// BER nesting, counted in TLVs. A plain element nested in its parent costs four levels, so this
// allows requests written as nested plain elements about twenty levels deep. Finding the end of
// an indefinite length walks the levels below, so decoding costs at most depth x size steps.
constexpr int kMaxBerDepth = 96;
// Glow elements (nodes, parameters, matrices, commands) in one message, at every level.
constexpr std::size_t kMaxElements = 8192;
// Tree levels below the root: a path longer than this is refused.
constexpr std::size_t kMaxPathLength = 24;
// Signals of one matrix, and entries of its target, source, connection and label lists.
constexpr std::int32_t kMaxSignals = 65536;
constexpr std::size_t kMaxListEntries = 65536;
// Sources named in one connection.
constexpr std::size_t kMaxConnectionSources = 4096;
// One string value, identifier or description.
constexpr std::size_t kMaxStringBytes = 64 * 1024;

// A provider's sessions, the paths one session may watch, and what one session may queue
// unsent before it is dropped.
constexpr std::size_t kMaxSessions = 64;
constexpr std::size_t kMaxWatchedPaths = 4096;
constexpr std::size_t kMaxQueuedBytes = 4 * 1024 * 1024;

} // namespace vesk_ember
