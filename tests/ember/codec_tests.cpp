#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ber.h"
#include "ember_limits.h"
#include "glow.h"
#include "s101.h"

using namespace vesk_ember;

namespace {

std::string hex(const bytes& b) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t x : b) {
        out += digits[x >> 4];
        out += digits[x & 15];
    }
    return out;
}

bytes unhex(const std::string& s) {
    bytes out;
    for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoul(s.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::vector<s101_event> decodeInPieces(const bytes& stream, std::size_t piece) {
    s101_decoder d;
    std::vector<s101_event> out;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        d.feed(stream.data() + at, std::min(piece, stream.size() - at), out);
    }
    return out;
}

// A frame around `raw` (header and payload) with a right CRC, as a peer would send it.
bytes frame(const bytes& raw) {
    std::uint16_t crc = static_cast<std::uint16_t>(~crc16(raw.data(), raw.size()));
    bytes body = raw;
    body.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    body.push_back(static_cast<std::uint8_t>(crc >> 8));
    bytes out{s101::kBof};
    for (std::uint8_t b : body) {
        if (b >= s101::kFirstEscaped) {
            out.push_back(s101::kEscape);
            out.push_back(static_cast<std::uint8_t>(b ^ s101::kEscapeXor));
        } else {
            out.push_back(b);
        }
    }
    out.push_back(s101::kEof);
    return out;
}

bytes packet(std::uint8_t flags, const bytes& payload) {
    bytes raw{0x00, 0x0E, 0x00, 0x01, flags, 0x01, 0x02, 0x1F, 0x02};
    raw.insert(raw.end(), payload.begin(), payload.end());
    return frame(raw);
}

// The same BER with every constructed length made indefinite, as libember writes it. Glow's
// tags are all below 31, so each is one byte.
bytes indefinite(const std::uint8_t* p, std::size_t size) {
    bytes out;
    ber::reader r(p, size);
    ber::tlv v;
    while (r.next(v)) {
        auto tag = static_cast<std::uint8_t>((static_cast<unsigned>(v.t.cls) << 6) | v.t.number);
        if (v.constructed) {
            out.push_back(static_cast<std::uint8_t>(tag | 0x20));
            out.push_back(0x80);
            bytes inner = indefinite(v.content, v.size);
            out.insert(out.end(), inner.begin(), inner.end());
            out.push_back(0);
            out.push_back(0);
            continue;
        }
        out.push_back(tag);
        if (v.size >= 0x80) {
            out.push_back(0x82);
            out.push_back(static_cast<std::uint8_t>(v.size >> 8));
        }
        out.push_back(static_cast<std::uint8_t>(v.size & 0xFF));
        out.insert(out.end(), v.content, v.content + v.size);
    }
    return out;
}

glow_root everyKind() {
    glow_root root;
    glow_element node;
    node.what = glow_element::kind::node;
    node.number = 3;
    node.hasContents = true;
    node.identifier = "studio";
    node.description = "the studio";
    node.isOnline = true;

    glow_element text;
    text.what = glow_element::kind::parameter;
    text.number = 0;
    text.hasContents = true;
    text.identifier = "name";
    text.value = glow_value::ofString("CAM \xC3\xA9");
    text.paramAccess = access::read_write;
    text.type = parameter_type::string;
    glow_element number = text;
    number.number = 1;
    number.value = glow_value::ofInteger(-1234567890123LL);
    number.type = parameter_type::integer;
    glow_element flag = text;
    flag.number = 2;
    flag.value = glow_value::ofBoolean(true);
    flag.paramAccess = access::read;
    flag.type = parameter_type::boolean;
    node.children = {text, number, flag};

    glow_element matrix;
    matrix.what = glow_element::kind::matrix;
    matrix.qualified = true;
    matrix.where = {3, 4, 200};
    matrix.hasContents = true;
    matrix.identifier = "router";
    matrix.matrixType = matrix_type::one_to_n;
    matrix.addressingMode = addressing::linear;
    matrix.targetCount = 300;
    matrix.sourceCount = 2;
    matrix.labels = {{{3, 4, 201}, "Primary"}};
    matrix.targets = std::vector<std::int32_t>{0, 1, 299};
    matrix.sources = std::vector<std::int32_t>{0, 1};
    glow_connection c;
    c.target = 299;
    c.sources = {1};
    c.operation = connection_operation::connect;
    c.disposition = connection_disposition::modified;
    glow_connection empty;
    empty.target = 0;
    matrix.connections = std::vector<glow_connection>{c, empty};

    glow_element command = makeCommand(command_type::get_directory);
    glow_element qualifiedNode;
    qualifiedNode.what = glow_element::kind::node;
    qualifiedNode.qualified = true;
    qualifiedNode.where = {3};
    qualifiedNode.children = {makeCommand(command_type::unsubscribe)};
    root.elements = {node, matrix, command, qualifiedNode};
    return root;
}

} // namespace

TEST(EmberS101, CrcAndKeepAlives) {
    const std::string check = "123456789";
    // CRC-16/X-25, which is what S101's CRC is once inverted.
    EXPECT_EQ(static_cast<std::uint16_t>(
                  ~crc16(reinterpret_cast<const std::uint8_t*>(check.data()), check.size())),
              0x906E);
    EXPECT_EQ(hex(encodeKeepAliveRequest()).substr(0, 10), "fe000e0101");
    EXPECT_EQ(hex(encodeKeepAliveResponse()).substr(0, 10), "fe000e0201");

    bytes stream = encodeKeepAliveRequest();
    bytes response = encodeKeepAliveResponse();
    stream.insert(stream.end(), response.begin(), response.end());
    auto events = decodeInPieces(stream, stream.size());
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].what, s101_event::kind::keep_alive_request);
    EXPECT_EQ(events[1].what, s101_event::kind::keep_alive_response);
}

TEST(EmberS101, EscapesEveryReservedByte) {
    bytes payload;
    for (int b = 0xF0; b <= 0xFF; ++b) {
        payload.push_back(static_cast<std::uint8_t>(b));
    }
    bytes frames = encodeMessage(payload);
    // Between BOF and EOF no byte from 0xF8 up appears except the escape.
    for (std::size_t i = 1; i + 1 < frames.size(); ++i) {
        EXPECT_TRUE(frames[i] < s101::kFirstEscaped || frames[i] == s101::kEscape) << i;
    }
    auto events = decodeInPieces(frames, frames.size());
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].data, payload);
}

TEST(EmberS101, SplitAcrossAndJoinedWithinReads) {
    // Two messages, one long enough for three packets, and a keep-alive between them.
    bytes longMessage(2 * kPacketPayloadBytes + 17);
    for (std::size_t i = 0; i < longMessage.size(); ++i) {
        longMessage[i] = static_cast<std::uint8_t>(i * 7);
    }
    bytes shortMessage = {0x60, 0x00};
    bytes stream = encodeMessage(longMessage);
    bytes more = encodeKeepAliveRequest();
    stream.insert(stream.end(), more.begin(), more.end());
    more = encodeMessage(shortMessage);
    stream.insert(stream.end(), more.begin(), more.end());

    for (std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7},
                              std::size_t{1000}, stream.size()}) {
        SCOPED_TRACE(piece);
        auto events = decodeInPieces(stream, piece);
        ASSERT_EQ(events.size(), 3u);
        EXPECT_EQ(events[0].what, s101_event::kind::message);
        EXPECT_EQ(events[0].data, longMessage);
        EXPECT_EQ(events[1].what, s101_event::kind::keep_alive_request);
        EXPECT_EQ(events[2].data, shortMessage);
    }
}

TEST(EmberS101, MalformedFramesAreDroppedAndTheStreamGoesOn) {
    bytes good = packet(0xC0, {0x60, 0x00});
    bytes badCrc = good;
    badCrc[badCrc.size() - 2] ^= 0x01;
    bytes longFrame{s101::kBof};
    longFrame.insert(longFrame.end(), kMaxFrameBytes + 1, 0x11);
    longFrame.push_back(s101::kEof);
    bytes tooLongMessage = packet(0x80, bytes(kMaxFrameBytes - 32, 0x22));
    for (std::size_t i = 0; i < kMaxMessageBytes / (kMaxFrameBytes - 32); ++i) {
        bytes next = packet(0x00, bytes(kMaxFrameBytes - 32, 0x22));
        tooLongMessage.insert(tooLongMessage.end(), next.begin(), next.end());
    }
    struct row {
        const char* name;
        bytes input;
        const char* why;
    } rows[] = {
        {"bad CRC", badCrc, "CRC"},
        {"too short", {0xFE, 0x00, 0x0E, 0xFF}, "too short"},
        {"unescaped reserved byte", {0xFE, 0x00, 0xFA, 0x0E, 0xFF}, "unescaped"},
        {"frame begun twice", {0xFE, 0x00, 0x0E, 0xFE}, "begun again"},
        {"escape before EOF", {0xFE, 0x00, 0x0E, 0xFD, 0xFF}, "escape"},
        {"unknown command", frame({0x00, 0x0E, 0x07, 0x01}), "unknown frame command"},
        {"not Ember+", frame({0x00, 0x0F, 0x01, 0x01}), "not an Ember+"},
        {"other DTD", frame({0x00, 0x0E, 0x00, 0x01, 0xC0, 0x02, 0x00, 0x60, 0x00}), "DTD"},
        {"header cut short", frame({0x00, 0x0E, 0x00, 0x01, 0xC0, 0x01, 0x09, 0x00}), "cut short"},
        {"continuation of nothing", packet(0x40, {0x60, 0x00}), "continues no message"},
        {"frame too long", longFrame, "frame longer"},
        {"message too long", tooLongMessage, "message longer"},
        {"noise between frames", bytes(kMaxGarbageBytes, 0x00), "outside any frame"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        bytes stream = r.input;
        stream.insert(stream.end(), good.begin(), good.end());
        for (std::size_t piece : {std::size_t{1}, std::size_t{5}, stream.size()}) {
            auto events = decodeInPieces(stream, piece);
            ASSERT_GE(events.size(), 2u);
            EXPECT_EQ(events.front().what, s101_event::kind::error);
            EXPECT_NE(events.front().why.find(r.why), std::string::npos) << events.front().why;
            EXPECT_EQ(events.back().what, s101_event::kind::message);
            EXPECT_EQ(events.back().data, (bytes{0x60, 0x00}));
            std::size_t messages = 0;
            for (const auto& e : events) {
                messages += e.what == s101_event::kind::message;
            }
            EXPECT_EQ(messages, 1u);
        }
    }
}

TEST(EmberBer, PrimitivesEncodeAsTheStandardSays) {
    struct row {
        std::int64_t value;
        const char* encoded;
    } integers[] = {
        {0, "020100"},         {127, "02017f"},
        {128, "02020080"},     {-1, "0201ff"},
        {-128, "020180"},      {-129, "0202ff7f"},
        {65535, "020300ffff"}, {INT64_MIN, "02088000000000000000"},
    };
    for (const row& r : integers) {
        ber::writer w;
        w.integer(r.value);
        EXPECT_EQ(hex(w.data()), r.encoded) << r.value;
        ber::reader rd(w.data().data(), w.data().size());
        ber::tlv v;
        std::int64_t back = 0;
        ASSERT_TRUE(rd.next(v));
        ASSERT_TRUE(ber::readInteger(v, back));
        EXPECT_EQ(back, r.value);
    }

    ber::writer w;
    w.string(std::string(200, 'x'));
    EXPECT_EQ(hex(w.data()).substr(0, 6), "0c81c8");
    ber::writer w2;
    w2.string(std::string(300, 'x'));
    EXPECT_EQ(hex(w2.data()).substr(0, 8), "0c82012c");
    ber::writer w3;
    w3.relativeOid({1, 128, 16384});
    EXPECT_EQ(hex(w3.data()), "0d06018100818000");
    ber::writer w4;
    w4.begin(ber::context(200));
    w4.end();
    EXPECT_EQ(hex(w4.data()), "bf814800");
    ber::writer w5;
    w5.boolean(true);
    EXPECT_EQ(hex(w5.data()), "0101ff");
}

TEST(EmberBer, IndefiniteLengthsAndMalformedInput) {
    // [1] { SET { [0] "ab" } } with indefinite lengths, then an integer.
    bytes in = unhex("a1803180a0800c026162000000000000020105");
    ber::reader r(in.data(), in.size());
    ber::tlv v;
    ASSERT_TRUE(r.next(v));
    EXPECT_EQ(v.t, ber::context(1));
    EXPECT_EQ(v.size, 12u); // everything up to its own end-of-contents
    ASSERT_TRUE(r.next(v));
    std::int64_t five = 0;
    EXPECT_TRUE(ber::readInteger(v, five));
    EXPECT_EQ(five, 5);
    EXPECT_TRUE(r.atEnd());

    bytes deep;
    for (int i = 0; i < kMaxBerDepth + 2; ++i) {
        deep.push_back(0xA0);
        deep.push_back(0x80);
    }
    for (int i = 0; i < kMaxBerDepth + 2; ++i) {
        deep.push_back(0);
        deep.push_back(0);
    }
    struct row {
        const char* name;
        bytes input;
    } rows[] = {
        {"length past the end", unhex("0c0561")},
        {"indefinite primitive", unhex("0c806100")},
        {"no end-of-contents", unhex("a080020101")},
        {"five length bytes", unhex("0c850000000001")},
        {"cut in the tag", unhex("bf81")},
        {"tag number too long", unhex("bf8181818101")},
        {"end-of-contents where a TLV should be", unhex("0000")},
        {"nesting too deep", deep},
    };
    for (const row& rr : rows) {
        ber::reader bad(rr.input.data(), rr.input.size());
        ber::tlv x;
        EXPECT_FALSE(bad.next(x)) << rr.name;
        EXPECT_TRUE(bad.failed()) << rr.name;
    }
    std::int64_t big = 0;
    bytes nine = unhex("0209010000000000000000");
    ber::reader rn(nine.data(), nine.size());
    ASSERT_TRUE(rn.next(v));
    EXPECT_FALSE(ber::readInteger(v, big));
    std::vector<std::uint32_t> oid;
    bytes cut = unhex("0d0281");
    ber::reader ro(cut.data(), cut.size());
    ASSERT_FALSE(ro.next(v));
    bytes unfinished = unhex("0d0181");
    ber::reader ru(unfinished.data(), unfinished.size());
    ASSERT_TRUE(ru.next(v));
    EXPECT_FALSE(ber::readRelativeOid(v, oid));
}

TEST(EmberGlow, EveryKindRoundTripsInBothLengthForms) {
    bytes encoded = encodeGlow(everyKind());
    bytes open = indefinite(encoded.data(), encoded.size());
    ASSERT_NE(open, encoded);
    for (const bytes* form : {&encoded, &open}) {
        glow_root back;
        std::string why;
        ASSERT_TRUE(decodeGlow(form->data(), form->size(), back, why)) << why;
        EXPECT_EQ(hex(encodeGlow(back)), hex(encoded));
        ASSERT_EQ(back.elements.size(), 4u);
        const glow_element& node = back.elements[0];
        EXPECT_EQ(node.identifier.value_or(""), "studio");
        ASSERT_EQ(node.children.size(), 3u);
        EXPECT_EQ(node.children[0].value->text, "CAM \xC3\xA9");
        EXPECT_EQ(node.children[1].value->integer, -1234567890123LL);
        EXPECT_TRUE(node.children[2].value->boolean);
        EXPECT_EQ(node.children[2].pathUnder({3}), (path{3, 2}));
        const glow_element& m = back.elements[1];
        EXPECT_EQ(m.where, (path{3, 4, 200}));
        EXPECT_EQ(*m.targetCount, 300);
        EXPECT_EQ(m.labels.at(0).basePath, (path{3, 4, 201}));
        ASSERT_EQ(m.connections->size(), 2u);
        EXPECT_EQ((*m.connections)[0].sources, (std::vector<std::int32_t>{1}));
        EXPECT_EQ((*m.connections)[0].operation, connection_operation::connect);
        EXPECT_EQ((*m.connections)[0].disposition, connection_disposition::modified);
        EXPECT_TRUE((*m.connections)[1].sources.empty());
        EXPECT_EQ(back.elements[2].command, command_type::get_directory);
        EXPECT_EQ(back.elements[2].dirFieldMask, -1);
        EXPECT_EQ(back.elements[3].children.at(0).command, command_type::unsubscribe);
    }
}

TEST(EmberGlow, RequestsAsThePeersWriteThem) {
    // GetDirectory at the root, with and without a field mask.
    EXPECT_EQ(
        hex(encodeGlow(makeRequest(glow_element::kind::node, {}, command_type::get_directory))),
        "60106b0ea00c620aa003020120a1030201ff");
    glow_root root;
    std::string why;
    bytes bare = unhex("600b6b09a0076205a003020120");
    ASSERT_TRUE(decodeGlow(bare.data(), bare.size(), root, why)) << why;
    EXPECT_EQ(root.elements.at(0).command, command_type::get_directory);
    EXPECT_FALSE(root.elements[0].dirFieldMask);
    // Subscribe on a qualified matrix.
    EXPECT_EQ(hex(encodeGlow(
                  makeRequest(glow_element::kind::matrix, {0, 1, 0}, command_type::subscribe))),
              "601a6b18a0167114a0050d03000100a20b6409a0076205a00302011e");
}

TEST(EmberGlow, ElementsOutsideTheSubsetAreSkipped) {
    // A root with a function (application 19) between two nodes.
    ber::writer w;
    w.begin(ber::application(0));
    w.begin(ber::application(11));
    for (std::uint32_t tag : {3u, 19u, 3u}) {
        w.begin(ber::context(0));
        w.begin(ber::application(tag));
        w.contextInteger(0, 7);
        w.end();
        w.end();
    }
    w.end();
    w.end();
    glow_root root;
    std::string why;
    ASSERT_TRUE(decodeGlow(w.data().data(), w.data().size(), root, why)) << why;
    EXPECT_EQ(root.elements.size(), 2u);
}

TEST(EmberGlow, MalformedAndOversizedMessagesAreRefusedWithAReason) {
    auto root = [](const std::function<void(ber::writer&)>& body) {
        ber::writer w;
        w.begin(ber::application(0));
        w.begin(ber::application(11));
        w.begin(ber::context(0));
        body(w);
        w.end();
        w.end();
        w.end();
        return w.take();
    };
    auto many = [&](std::size_t count) {
        return root([count](ber::writer& w) {
            w.begin(ber::application(3));
            w.contextInteger(0, 0);
            w.begin(ber::context(2));
            w.begin(ber::application(4));
            for (std::size_t i = 0; i < count; ++i) {
                w.begin(ber::context(0));
                w.begin(ber::application(2));
                w.contextInteger(0, 32);
                w.end();
                w.end();
            }
            w.end();
            w.end();
            w.end();
        });
    };
    path longPath(kMaxPathLength + 1, 1);
    bytes trailing = encodeGlow(everyKind());
    trailing.push_back(0x05);
    struct row {
        const char* name;
        bytes input;
        const char* why;
    } rows[] = {
        {"not a root", unhex("3000"), "not a Glow root"},
        {"bytes after the root", trailing, "after the root"},
        {"node without a number", root([](ber::writer& w) {
             w.begin(ber::application(3));
             w.end();
         }),
         "without a number"},
        {"negative number", root([](ber::writer& w) {
             w.begin(ber::application(3));
             w.contextInteger(0, -1);
             w.end();
         }),
         "negative"},
        {"contents not a set", root([](ber::writer& w) {
             w.begin(ber::application(1));
             w.contextInteger(0, 1);
             w.begin(ber::context(1));
             w.integer(3);
             w.end();
             w.end();
         }),
         "not a set"},
        {"path too long", root([&](ber::writer& w) {
             w.begin(ber::application(10));
             w.contextRelativeOid(0, longPath);
             w.end();
         }),
         "path too long"},
        {"signal count out of range", root([](ber::writer& w) {
             w.begin(ber::application(13));
             w.contextInteger(0, 1);
             w.begin(ber::context(1));
             w.begin(ber::universal(ber::type::kSet));
             w.contextInteger(4, kMaxSignals + 1);
             w.end();
             w.end();
             w.end();
         }),
         "out of range"},
        {"too many elements", many(kMaxElements), "elements"},
    };
    for (const row& r : rows) {
        glow_root out;
        std::string why;
        EXPECT_FALSE(decodeGlow(r.input.data(), r.input.size(), out, why)) << r.name;
        EXPECT_NE(why.find(r.why), std::string::npos) << r.name << ": " << why;
        EXPECT_TRUE(out.elements.empty()) << r.name;
    }
    glow_root out;
    std::string why;
    bytes fits = many(kMaxElements - 1);
    EXPECT_TRUE(decodeGlow(fits.data(), fits.size(), out, why)) << why;
}
