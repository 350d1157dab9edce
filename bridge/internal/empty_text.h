// The one constant empty text that every decoder field points at until decoding sets it.
#pragma once

namespace vesk_detail {
extern const char emptyText[1];
}
