#pragma once
namespace vorquel {
inline constexpr const char* version = "O.31";
}
