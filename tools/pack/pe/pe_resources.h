// The resources of a PE file: the resource tree read into a flat list, a new resource
// section written from one, and a stub's resource section replaced, every other
// resource kept byte for byte.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pe/pe_image.h"

namespace tvpack {

constexpr uint32_t kRtIcon = 3;
constexpr uint32_t kRtDialog = 5;
constexpr uint32_t kRtGroupIcon = 14;
constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kRtManifest = 24;

// A type or a name in the tree: a number, or a string when `name` is not empty.
struct ResourceId {
  uint32_t id = 0;
  std::u16string name;
};
bool operator<(const ResourceId& a, const ResourceId& b);
bool operator==(const ResourceId& a, const ResourceId& b);

struct Resource {
  ResourceId type, name;
  uint16_t language = 0;
  uint32_t codepage = 0;
  std::vector<uint8_t> data;
};

// The resource is of a numbered type (kRt...).
bool is_type(const Resource& r, uint32_t type);

// Every resource of a PE file (type, name, language; in the tree's order), or an empty
// list when it has no resource directory. fail()s with one phrase when the tree is
// damaged; nothing is read outside the file.
std::vector<Resource> read_resources(const uint8_t* data, size_t size, const PeLayout& pe);

// A resource section at rva holding the resources (sorted as the loader's binary
// search needs; no time stamps, so the same resources give the same bytes). fail()s
// (one phrase) for two of one type, name and language.
std::vector<uint8_t> write_resource_section(std::vector<Resource> resources, uint32_t rva);

// The stub with its resource section holding these resources instead: the section is
// rewritten where it was and the sections after it (the relocations) move behind it.
// fail()s (one phrase, to follow "the stub ") when the stub cannot take it.
std::vector<uint8_t> with_resources(const std::vector<uint8_t>& stub, std::vector<Resource> resources);
// The same for a stub already parsed (pe is parse_pe's of stub).
std::vector<uint8_t> with_resources(const std::vector<uint8_t>& stub, const PeLayout& pe,
                                    std::vector<Resource> resources);

}  // namespace tvpack
