#include "glow.h"

#include "ber.h"
#include "ember_limits.h"

#include <climits>

namespace vesk_ember {

namespace {

namespace app {
constexpr std::uint32_t kRoot = 0;
constexpr std::uint32_t kParameter = 1;
constexpr std::uint32_t kCommand = 2;
constexpr std::uint32_t kNode = 3;
constexpr std::uint32_t kElementCollection = 4;
constexpr std::uint32_t kQualifiedParameter = 9;
constexpr std::uint32_t kQualifiedNode = 10;
constexpr std::uint32_t kRootElementCollection = 11;
constexpr std::uint32_t kMatrix = 13;
constexpr std::uint32_t kTarget = 14;
constexpr std::uint32_t kSource = 15;
constexpr std::uint32_t kConnection = 16;
constexpr std::uint32_t kQualifiedMatrix = 17;
constexpr std::uint32_t kLabel = 18;
} // namespace app

using ber::tlv;

std::uint32_t applicationTag(const glow_element& e) {
    switch (e.what) {
    case glow_element::kind::node:
        return e.qualified ? app::kQualifiedNode : app::kNode;
    case glow_element::kind::parameter:
        return e.qualified ? app::kQualifiedParameter : app::kParameter;
    case glow_element::kind::matrix:
        return e.qualified ? app::kQualifiedMatrix : app::kMatrix;
    case glow_element::kind::command:
        break;
    }
    return app::kCommand;
}

void encodeSignals(ber::writer& w, std::uint32_t field, std::uint32_t tag,
                   const std::vector<std::int32_t>& numbers) {
    w.begin(ber::context(field));
    w.begin(ber::universal(ber::type::kSequence));
    for (std::int32_t n : numbers) {
        w.begin(ber::context(0));
        w.begin(ber::application(tag));
        w.contextInteger(0, n);
        w.end();
        w.end();
    }
    w.end();
    w.end();
}

void encodeContents(ber::writer& w, const glow_element& e) {
    w.begin(ber::context(1));
    w.begin(ber::universal(ber::type::kSet));
    if (e.identifier) {
        w.contextString(0, *e.identifier);
    }
    if (e.description) {
        w.contextString(1, *e.description);
    }
    switch (e.what) {
    case glow_element::kind::node:
        if (e.isOnline) {
            w.contextBoolean(3, *e.isOnline);
        }
        break;
    case glow_element::kind::parameter:
        if (e.value && e.value->what != glow_value::kind::none) {
            w.begin(ber::context(2));
            switch (e.value->what) {
            case glow_value::kind::integer:
                w.integer(e.value->integer);
                break;
            case glow_value::kind::string:
                w.string(e.value->text);
                break;
            case glow_value::kind::boolean:
            case glow_value::kind::none:
                w.boolean(e.value->boolean);
                break;
            }
            w.end();
        }
        if (e.paramAccess) {
            w.contextInteger(5, static_cast<std::int32_t>(*e.paramAccess));
        }
        if (e.isOnline) {
            w.contextBoolean(9, *e.isOnline);
        }
        if (e.type) {
            w.contextInteger(13, static_cast<std::int32_t>(*e.type));
        }
        break;
    case glow_element::kind::matrix:
        if (e.matrixType) {
            w.contextInteger(2, static_cast<std::int32_t>(*e.matrixType));
        }
        if (e.addressingMode) {
            w.contextInteger(3, static_cast<std::int32_t>(*e.addressingMode));
        }
        if (e.targetCount) {
            w.contextInteger(4, *e.targetCount);
        }
        if (e.sourceCount) {
            w.contextInteger(5, *e.sourceCount);
        }
        if (!e.labels.empty()) {
            w.begin(ber::context(10));
            w.begin(ber::universal(ber::type::kSequence));
            for (const glow_label& l : e.labels) {
                w.begin(ber::context(0));
                w.begin(ber::application(app::kLabel));
                w.contextRelativeOid(0, l.basePath);
                w.contextString(1, l.description);
                w.end();
                w.end();
            }
            w.end();
            w.end();
        }
        break;
    case glow_element::kind::command:
        break;
    }
    w.end();
    w.end();
}

void encodeElement(ber::writer& w, const glow_element& e) {
    w.begin(ber::application(applicationTag(e)));
    if (e.what == glow_element::kind::command) {
        w.contextInteger(0, static_cast<std::int32_t>(e.command));
        if (e.dirFieldMask) {
            w.contextInteger(1, *e.dirFieldMask);
        }
        w.end();
        return;
    }
    if (e.qualified) {
        w.contextRelativeOid(0, e.where);
    } else {
        w.contextInteger(0, e.number);
    }
    if (e.hasContents) {
        encodeContents(w, e);
    }
    if (e.hasChildren || !e.children.empty()) {
        w.begin(ber::context(2));
        w.begin(ber::application(app::kElementCollection));
        for (const glow_element& child : e.children) {
            w.begin(ber::context(0));
            encodeElement(w, child);
            w.end();
        }
        w.end();
        w.end();
    }
    if (e.what == glow_element::kind::matrix) {
        if (e.targets) {
            encodeSignals(w, 3, app::kTarget, *e.targets);
        }
        if (e.sources) {
            encodeSignals(w, 4, app::kSource, *e.sources);
        }
        if (e.connections) {
            w.begin(ber::context(5));
            w.begin(ber::universal(ber::type::kSequence));
            for (const glow_connection& c : *e.connections) {
                w.begin(ber::context(0));
                w.begin(ber::application(app::kConnection));
                w.contextInteger(0, c.target);
                path sources(c.sources.begin(), c.sources.end());
                w.contextRelativeOid(1, sources);
                if (c.operation) {
                    w.contextInteger(2, static_cast<std::int32_t>(*c.operation));
                }
                if (c.disposition) {
                    w.contextInteger(3, static_cast<std::int32_t>(*c.disposition));
                }
                w.end();
                w.end();
            }
            w.end();
            w.end();
        }
    }
    w.end();
}

// ---- decoding ----

struct decoder {
    std::size_t elements = 0;
    std::string why;

    bool fail(std::string reason) {
        if (why.empty()) {
            why = std::move(reason);
        }
        return false;
    }

    // The one TLV an explicit tag wraps.
    bool inner(const tlv& outer, int depth, tlv& out) {
        if (!outer.constructed) {
            return fail("explicit tag without contents");
        }
        ber::reader r(outer, depth);
        if (!r.next(out)) {
            return fail("explicit tag without contents");
        }
        return true;
    }

    bool integerField(const tlv& f, int depth, std::int64_t& out) {
        tlv v;
        return inner(f, depth, v) && (ber::readInteger(v, out) || fail("expected an integer"));
    }

    bool int32Field(const tlv& f, int depth, std::int32_t& out) {
        std::int64_t v = 0;
        if (!integerField(f, depth, v)) {
            return false;
        }
        if (v < INT32_MIN || v > INT32_MAX) {
            return fail("integer out of range");
        }
        out = static_cast<std::int32_t>(v);
        return true;
    }

    // An enumeration: values outside [0, last] are taken as absent, as a newer peer may send.
    template <typename E>
    bool enumField(const tlv& f, int depth, std::int32_t last, std::optional<E>& out) {
        std::int32_t v = 0;
        if (!int32Field(f, depth, v)) {
            return false;
        }
        if (v >= 0 && v <= last) {
            out = static_cast<E>(v);
        }
        return true;
    }

    bool stringField(const tlv& f, int depth, std::optional<std::string>& out) {
        tlv v;
        std::string s;
        if (!inner(f, depth, v) || !(ber::readString(v, s) || fail("expected a string"))) {
            return false;
        }
        out = std::move(s);
        return true;
    }

    bool booleanField(const tlv& f, int depth, std::optional<bool>& out) {
        tlv v;
        bool b = false;
        if (!inner(f, depth, v) || !(ber::readBoolean(v, b) || fail("expected a boolean"))) {
            return false;
        }
        out = b;
        return true;
    }

    bool pathField(const tlv& f, int depth, path& out) {
        tlv v;
        if (!inner(f, depth, v) || !(ber::readRelativeOid(v, out) || fail("expected a path"))) {
            return false;
        }
        return out.size() <= kMaxPathLength || fail("path too long");
    }

    bool valueField(const tlv& f, int depth, std::optional<glow_value>& out) {
        tlv v;
        if (!inner(f, depth, v)) {
            return false;
        }
        glow_value value;
        if (v.t == ber::universal(ber::type::kInteger)) {
            value.what = glow_value::kind::integer;
            if (!ber::readInteger(v, value.integer)) {
                return fail("bad integer value");
            }
        } else if (v.t == ber::universal(ber::type::kUtf8String)) {
            value.what = glow_value::kind::string;
            if (!ber::readString(v, value.text)) {
                return fail("bad string value");
            }
        } else if (v.t == ber::universal(ber::type::kBoolean)) {
            value.what = glow_value::kind::boolean;
            if (!ber::readBoolean(v, value.boolean)) {
                return fail("bad boolean value");
            }
        }
        // Reals, octets and null are carried as a value of no kind we speak.
        out = std::move(value);
        return true;
    }

    // SEQUENCE OF [0] X, where each X is read by `each`.
    template <typename F> bool sequenceOf(const tlv& f, int depth, std::uint32_t tag, F each) {
        tlv seq;
        if (!inner(f, depth, seq)) {
            return false;
        }
        if (!seq.constructed) {
            return fail("expected a sequence");
        }
        ber::reader items(seq, depth + 2);
        std::size_t count = 0;
        tlv item;
        while (items.next(item)) {
            if (++count > kMaxListEntries) {
                return fail("list longer than " + std::to_string(kMaxListEntries));
            }
            tlv x;
            if (item.t != ber::context(0) || !inner(item, depth + 3, x)) {
                return fail("bad list entry");
            }
            if (x.t != ber::application(tag) || !x.constructed) {
                return fail("unexpected list entry");
            }
            if (!each(x, depth + 4)) {
                return false;
            }
        }
        return !items.failed() || fail("malformed list");
    }

    bool signals(const tlv& f, int depth, std::uint32_t tag, std::vector<std::int32_t>& out) {
        return sequenceOf(f, depth, tag, [&](const tlv& x, int d) {
            ber::reader r(x, d);
            tlv field;
            std::int32_t n = -1;
            while (r.next(field)) {
                if (field.t == ber::context(0) && !int32Field(field, d + 1, n)) {
                    return false;
                }
            }
            if (r.failed() || n < 0) {
                return fail("bad signal");
            }
            out.push_back(n);
            return true;
        });
    }

    bool connection(const tlv& x, int d, glow_connection& c) {
        ber::reader r(x, d);
        tlv field;
        bool target = false;
        while (r.next(field)) {
            if (field.t == ber::context(0)) {
                if (!int32Field(field, d + 1, c.target)) {
                    return false;
                }
                target = true;
            } else if (field.t == ber::context(1)) {
                path sources;
                if (!pathFieldAny(field, d + 1, sources)) {
                    return false;
                }
                for (std::uint32_t s : sources) {
                    if (s > static_cast<std::uint32_t>(INT32_MAX)) {
                        return fail("source out of range");
                    }
                    c.sources.push_back(static_cast<std::int32_t>(s));
                }
            } else if (field.t == ber::context(2)) {
                if (!enumField(field, d + 1, 2, c.operation)) {
                    return false;
                }
            } else if (field.t == ber::context(3)) {
                if (!enumField(field, d + 1, 3, c.disposition)) {
                    return false;
                }
            }
        }
        if (r.failed() || !target || c.target < 0) {
            return fail("bad connection");
        }
        return true;
    }

    bool pathFieldAny(const tlv& f, int depth, path& out) {
        tlv v;
        return inner(f, depth, v) && (ber::readRelativeOid(v, out) || fail("expected numbers"));
    }

    bool contents(const tlv& f, int depth, glow_element& e) {
        tlv set;
        if (!inner(f, depth, set)) {
            return false;
        }
        if (set.t != ber::universal(ber::type::kSet) || !set.constructed) {
            return fail("contents are not a set");
        }
        e.hasContents = true;
        ber::reader r(set, depth + 2);
        tlv field;
        int d = depth + 3;
        while (r.next(field)) {
            if (field.t.cls != ber::tag_class::context) {
                continue;
            }
            std::uint32_t n = field.t.number;
            bool ok = true;
            if (n == 0) {
                ok = stringField(field, d, e.identifier);
            } else if (n == 1) {
                ok = stringField(field, d, e.description);
            } else if (e.what == glow_element::kind::node) {
                if (n == 3) {
                    ok = booleanField(field, d, e.isOnline);
                }
            } else if (e.what == glow_element::kind::parameter) {
                if (n == 2) {
                    ok = valueField(field, d, e.value);
                } else if (n == 5) {
                    ok = enumField(field, d, 3, e.paramAccess);
                } else if (n == 9) {
                    ok = booleanField(field, d, e.isOnline);
                } else if (n == 13) {
                    ok = enumField(field, d, 4, e.type);
                }
            } else if (e.what == glow_element::kind::matrix) {
                std::int32_t count = 0;
                if (n == 2) {
                    ok = enumField(field, d, 2, e.matrixType);
                } else if (n == 3) {
                    ok = enumField(field, d, 1, e.addressingMode);
                } else if (n == 4 || n == 5) {
                    ok = int32Field(field, d, count) && ((count >= 0 && count <= kMaxSignals) ||
                                                         fail("signal count out of range"));
                    (n == 4 ? e.targetCount : e.sourceCount) = count;
                } else if (n == 10) {
                    ok = sequenceOf(field, d, app::kLabel, [&](const tlv& x, int dd) {
                        glow_label l;
                        ber::reader lr(x, dd);
                        tlv lf;
                        std::optional<std::string> description;
                        while (lr.next(lf)) {
                            if (lf.t == ber::context(0) && !pathField(lf, dd + 1, l.basePath)) {
                                return false;
                            }
                            if (lf.t == ber::context(1) && !stringField(lf, dd + 1, description)) {
                                return false;
                            }
                        }
                        if (lr.failed()) {
                            return fail("bad label");
                        }
                        l.description = description.value_or(std::string());
                        e.labels.push_back(std::move(l));
                        return true;
                    });
                }
            }
            if (!ok) {
                return false;
            }
        }
        return !r.failed() || fail("malformed contents");
    }

    // `skip` is set for elements outside the subset, which are read past whole.
    bool element(const tlv& v, int depth, glow_element& e, bool& skip) {
        if (++elements > kMaxElements) {
            return fail("more than " + std::to_string(kMaxElements) + " elements");
        }
        skip = false;
        if (v.t.cls != ber::tag_class::application || !v.constructed) {
            return fail("element is not an application tag");
        }
        switch (v.t.number) {
        case app::kNode:
        case app::kQualifiedNode:
            e.what = glow_element::kind::node;
            break;
        case app::kParameter:
        case app::kQualifiedParameter:
            e.what = glow_element::kind::parameter;
            break;
        case app::kMatrix:
        case app::kQualifiedMatrix:
            e.what = glow_element::kind::matrix;
            break;
        case app::kCommand:
            e.what = glow_element::kind::command;
            break;
        default:
            skip = true;
            return true;
        }
        e.qualified = v.t.number == app::kQualifiedNode || v.t.number == app::kQualifiedParameter ||
                      v.t.number == app::kQualifiedMatrix;
        ber::reader r(v, depth + 1);
        tlv f;
        int d = depth + 2;
        bool numbered = false;
        while (r.next(f)) {
            if (f.t.cls != ber::tag_class::context) {
                continue;
            }
            bool ok = true;
            switch (f.t.number) {
            case 0:
                if (e.what == glow_element::kind::command) {
                    std::int32_t c = 0;
                    ok = int32Field(f, d, c);
                    e.command = static_cast<command_type>(c);
                } else if (e.qualified) {
                    ok = pathField(f, d, e.where);
                } else {
                    std::int32_t n = 0;
                    ok = int32Field(f, d, n) && (n >= 0 || fail("negative element number"));
                    e.number = static_cast<std::uint32_t>(n);
                }
                numbered = ok;
                break;
            case 1:
                if (e.what == glow_element::kind::command) {
                    std::int32_t mask = 0;
                    // The options are a choice: a field mask, or an invocation we do not use.
                    if (f.constructed) {
                        tlv x;
                        ber::reader xr(f, d);
                        if (xr.next(x) && x.t == ber::universal(ber::type::kInteger)) {
                            ok = int32Field(f, d, mask);
                            e.dirFieldMask = mask;
                        }
                    }
                } else {
                    ok = contents(f, d, e);
                }
                break;
            case 2:
                if (e.what != glow_element::kind::command) {
                    ok = children(f, d, e);
                }
                break;
            case 3:
            case 4:
                if (e.what == glow_element::kind::matrix) {
                    auto& list = f.t.number == 3 ? e.targets : e.sources;
                    list.emplace();
                    ok = signals(f, d, f.t.number == 3 ? app::kTarget : app::kSource, *list);
                }
                break;
            case 5:
                if (e.what == glow_element::kind::matrix) {
                    e.connections.emplace();
                    ok = sequenceOf(f, d, app::kConnection, [&](const tlv& x, int dd) {
                        glow_connection c;
                        if (!connection(x, dd, c)) {
                            return false;
                        }
                        e.connections->push_back(std::move(c));
                        return true;
                    });
                }
                break;
            default:
                break;
            }
            if (!ok) {
                return false;
            }
        }
        if (r.failed()) {
            return fail("malformed element");
        }
        return numbered || fail("element without a number or path");
    }

    bool children(const tlv& f, int depth, glow_element& e) {
        tlv collection;
        if (!inner(f, depth, collection)) {
            return false;
        }
        if (collection.t != ber::application(app::kElementCollection) || !collection.constructed) {
            return fail("children are not an element collection");
        }
        e.hasChildren = true;
        return items(collection, depth + 1, e.children);
    }

    // The [0] items of an element collection or a root element collection.
    bool items(const tlv& collection, int depth, std::vector<glow_element>& out) {
        ber::reader r(collection, depth + 1);
        tlv item;
        while (r.next(item)) {
            tlv x;
            if (item.t != ber::context(0) || !inner(item, depth + 2, x)) {
                return fail("bad collection entry");
            }
            glow_element child;
            bool skip = false;
            if (!element(x, depth + 3, child, skip)) {
                return false;
            }
            if (!skip) {
                out.push_back(std::move(child));
            }
        }
        return !r.failed() || fail("malformed collection");
    }
};

} // namespace

std::string pathText(const path& p) {
    std::string out;
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (i) {
            out += '.';
        }
        out += std::to_string(p[i]);
    }
    return out;
}

bool glow_value::operator==(const glow_value& o) const {
    if (what != o.what) {
        return false;
    }
    switch (what) {
    case kind::integer:
        return integer == o.integer;
    case kind::string:
        return text == o.text;
    case kind::boolean:
        return boolean == o.boolean;
    case kind::none:
        break;
    }
    return true;
}

path glow_element::pathUnder(const path& parent) const {
    if (qualified) {
        return where;
    }
    path p = parent;
    p.push_back(number);
    return p;
}

bytes encodeGlow(const glow_root& root) {
    ber::writer w;
    w.begin(ber::application(app::kRoot));
    w.begin(ber::application(app::kRootElementCollection));
    for (const glow_element& e : root.elements) {
        w.begin(ber::context(0));
        encodeElement(w, e);
        w.end();
    }
    w.end();
    w.end();
    return w.take();
}

bool decodeGlow(const std::uint8_t* data, std::size_t size, glow_root& out, std::string& why) {
    out.elements.clear();
    if (size > kMaxMessageBytes) {
        why = "message too long";
        return false;
    }
    decoder d;
    ber::reader top(data, size, 0);
    tlv root;
    if (!top.next(root) || root.t != ber::application(app::kRoot) || !root.constructed) {
        why = "not a Glow root";
        return false;
    }
    if (!top.atEnd()) {
        why = "bytes after the root";
        return false;
    }
    ber::reader r(root, 1);
    tlv collection;
    bool ok = true;
    while (ok && r.next(collection)) {
        // Streams and invocation results are outside the subset.
        if (collection.t == ber::application(app::kRootElementCollection) &&
            collection.constructed) {
            ok = d.items(collection, 1, out.elements);
        }
    }
    if (ok && r.failed()) {
        ok = d.fail("malformed root");
    }
    if (!ok) {
        why = d.why.empty() ? "malformed root" : d.why;
        out.elements.clear();
    }
    return ok;
}

glow_element makeCommand(command_type c) {
    glow_element e;
    e.what = glow_element::kind::command;
    e.command = c;
    if (c == command_type::get_directory) {
        e.dirFieldMask = -1; // all fields
    }
    return e;
}

glow_root makeRequest(glow_element::kind what, const path& where, command_type c) {
    glow_root root;
    if (where.empty()) {
        root.elements.push_back(makeCommand(c));
        return root;
    }
    glow_element e;
    e.what = what;
    e.qualified = true;
    e.where = where;
    e.children.push_back(makeCommand(c));
    root.elements.push_back(std::move(e));
    return root;
}

} // namespace vesk_ember
