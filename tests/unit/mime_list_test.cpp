// The MIMEType list a plug-in declares in its version resource, as nphost --discover reads it.
#include <gtest/gtest.h>

#include "tools/nphost/mime_list.h"

namespace {

struct MimeCase {
  const char* list;
  const char* type;
  bool listed;
};

const MimeCase kMimeCases[] = {
    {"application/x-vnd-tovi-print", "application/x-vnd-tovi-print", true},
    {"application/x-other|application/x-vnd-tovi-print", "application/x-vnd-tovi-print", true},
    {"application/x-vnd-tovi-print|application/x-other", "application/x-vnd-tovi-print", true},
    {"Application/X-VND-Tovi-Print", "application/x-vnd-tovi-print", true},
    {"application/x-other | application/x-vnd-tovi-print ", "application/x-vnd-tovi-print", true},
    {"", "application/x-vnd-tovi-print", false},
    {"|", "application/x-vnd-tovi-print", false},
    {"application/x-vnd-tovi-print-2", "application/x-vnd-tovi-print", false},
    {"application/x-vnd-tovi", "application/x-vnd-tovi-print", false},
    {"xapplication/x-vnd-tovi-print", "application/x-vnd-tovi-print", false},
    {"application/x-vnd-tovi-print;application/x-other", "application/x-vnd-tovi-print", false},
    {"application/x-vnd-tovi-print", "", false},
    {"|application/x-vnd-tovi-print|", "application/x-vnd-tovi-print", true},
};

TEST(MimeListTest, ListsOnlyWholeEntriesIgnoringCase) {
  for (const MimeCase& c : kMimeCases) {
    EXPECT_EQ(MimeListHas(c.list, c.type), c.listed) << "list \"" << c.list << "\", type \"" << c.type << "\"";
  }
}

}  // namespace
