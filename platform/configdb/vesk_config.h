// vesk_config: one node of the system's configuration database.
//
// A node is named by a dotted path ("workstation_settings.12"). It may carry attributes of its
// own and has an ordered list of children, each with attributes of its own. Everything is read
// when the node is constructed; nothing is cached between nodes and nothing is ever written.
#pragma once

#include "vesk_platform_export.h"
#include "vesk_string.h"

class VESK_CONFIGDB_API vesk_config {
public:
    // Opens the node at `path`. An unknown node is not an error: it is simply not valid. Running
    // out of memory is, even inside the reads: std::bad_alloc, never a node that seems missing.
    explicit vesk_config(const vesk_string& path);
    vesk_config(const vesk_config& other);
    vesk_config& operator=(const vesk_config& other);
    virtual ~vesk_config();

    // Whether the node exists.
    bool isValid() const noexcept;
    // An attribute of the node itself; empty text when the node or the attribute is missing.
    vesk_string attr(const vesk_string& name) const;

    // Children are walked in order: after construction the first child, if any, is current.
    bool isChildValid() const noexcept;
    // An attribute of the current child; empty text when there is none.
    vesk_string childAttr(const vesk_string& name) const;
    // Makes the next child current; returns whether there is one.
    bool nextChild() noexcept;

private:
    struct node;
    node* m_node;
};
