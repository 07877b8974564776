// Where the installer's own resources that its logic reads lie: the maker writes them
// there and the installer looks for them there.
#pragma once
#include <cstdint>

namespace tv {

constexpr uint16_t kRtVersionType = 16;  // RT_VERSION
constexpr uint16_t kVersionInfoId = 1;   // VS_VERSION_INFO
constexpr uint16_t kRtRcdataType = 10;   // RT_RCDATA
// The product's folder name: its UTF-16LE units, no NUL, language neutral.
constexpr uint16_t kFolderNameId = 1;

}  // namespace tv
