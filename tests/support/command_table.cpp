#include "command_table.h"

#include <gtest/gtest.h>

#include "recording_host_link.h"

std::string show(bool value) {
    return value ? "true" : "false";
}

std::string show(const vesk_string& value) {
    return "'" + std::string(value.c_str(), static_cast<std::size_t>(value.length())) + "'";
}

std::string show(const char* value) {
    return value ? "'" + std::string(value) + "'" : "(null)";
}

void runCommandTable(const std::vector<command_row>& rows) {
    for (const command_row& row : rows) {
        SCOPED_TRACE(row.what);
        {
            recording_host_link host;
            switch (row.answer.kind) {
            case host_answer::none:
                break;
            case host_answer::acknowledgement:
                host.acknowledge("");
                break;
            case host_answer::text:
                host.answer("", row.answer.reply.c_str());
                break;
            }
            test_script script(&host, row.startup.c_str());
            EXPECT_EQ(row.call(script), row.result);
            EXPECT_EQ(host.lines(), row.lines);
            EXPECT_TRUE(host.eachReplyReleasedOnce());
            EXPECT_EQ(host.releasesOfNull(), row.nullReleases);
        }
        {
            test_script unlinked(nullptr, row.startup.c_str());
            EXPECT_EQ(row.call(unlinked), row.resultWithoutLink) << "(without a host link)";
        }
    }
}
