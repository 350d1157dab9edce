// The Glow subset both roles speak: nodes, parameters (integer, string and boolean values),
// matrices (targets, sources, connections, labels) and the commands GetDirectory, Subscribe and
// Unsubscribe, each plain (numbered, nested in its parent) or qualified (with its whole path).
// Elements of kinds outside the subset (functions, templates, streams) are skipped whole.
#pragma once

#include "s101.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vesk_ember {

using path = std::vector<std::uint32_t>;

// "0.1.2"; the root is "".
std::string pathText(const path& p);

struct glow_value {
    enum class kind { none, integer, string, boolean };
    kind what = kind::none;
    std::int64_t integer = 0;
    std::string text;
    bool boolean = false;

    static glow_value ofInteger(std::int64_t v) { return {kind::integer, v, {}, false}; }
    static glow_value ofString(std::string v) { return {kind::string, 0, std::move(v), false}; }
    static glow_value ofBoolean(bool v) { return {kind::boolean, 0, {}, v}; }
    bool operator==(const glow_value& o) const;
    bool operator!=(const glow_value& o) const { return !(*this == o); }
};

enum class access : std::int32_t { none = 0, read = 1, write = 2, read_write = 3 };
enum class command_type : std::int32_t { subscribe = 30, unsubscribe = 31, get_directory = 32 };
enum class matrix_type : std::int32_t { one_to_n = 0, one_to_one = 1, n_to_n = 2 };
enum class addressing : std::int32_t { linear = 0, non_linear = 1 };
enum class connection_operation : std::int32_t { absolute = 0, connect = 1, disconnect = 2 };
enum class connection_disposition : std::int32_t {
    tally = 0,
    modified = 1,
    pending = 2,
    locked = 3
};
// The parameter types Glow names; only the first five are spoken here.
enum class parameter_type : std::int32_t {
    null = 0,
    integer = 1,
    real = 2,
    string = 3,
    boolean = 4
};

struct glow_label {
    path basePath;
    std::string description;
};

struct glow_connection {
    std::int32_t target = 0;
    std::vector<std::int32_t> sources;
    std::optional<connection_operation> operation;
    std::optional<connection_disposition> disposition;
};

struct glow_element {
    enum class kind { node, parameter, matrix, command };
    kind what = kind::node;
    // Qualified elements carry their whole path; plain ones their number under the parent.
    bool qualified = false;
    path where;
    std::uint32_t number = 0;

    // Contents shared by every kind with contents.
    bool hasContents = false;
    std::optional<std::string> identifier;
    std::optional<std::string> description;
    std::optional<bool> isOnline;
    // Parameter.
    std::optional<glow_value> value;
    std::optional<access> paramAccess;
    std::optional<parameter_type> type;
    // Matrix.
    std::optional<matrix_type> matrixType;
    std::optional<addressing> addressingMode;
    std::optional<std::int32_t> targetCount;
    std::optional<std::int32_t> sourceCount;
    std::vector<glow_label> labels;
    std::optional<std::vector<std::int32_t>> targets;
    std::optional<std::vector<std::int32_t>> sources;
    std::optional<std::vector<glow_connection>> connections;
    // Command.
    command_type command = command_type::get_directory;
    std::optional<std::int32_t> dirFieldMask;

    std::vector<glow_element> children;
    // True when the element came with a children collection, even an empty one.
    bool hasChildren = false;

    // The element's path, given the path of the collection it came in.
    path pathUnder(const path& parent) const;
};

struct glow_root {
    std::vector<glow_element> elements;
};

bytes encodeGlow(const glow_root& root);
// False, with a reason, on malformed input or input beyond the limits.
bool decodeGlow(const std::uint8_t* data, std::size_t size, glow_root& out, std::string& why);

// Shorthands for the messages the roles send.
glow_element makeCommand(command_type c);
// A qualified element of `what` at `where` (the root when empty: the command goes bare).
glow_root makeRequest(glow_element::kind what, const path& where, command_type c);

} // namespace vesk_ember
