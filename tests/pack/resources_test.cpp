// The product's resources written into a stub with the installer's own resources:
// read back by the maker's reader, the stub's other resources and relocations intact,
// the stub's icons replaced, and the stubs that cannot take them.
#include <cstring>
#include <tuple>
#include <stdexcept>

#include "manifest.h"
#include "pack_test_support.h"
#include "pe_image.h"
#include "pe_resources.h"
#include "version_info.h"

namespace {

using namespace packtest;
using tvpack::Resource;

std::vector<uint8_t> versioned_stub() { return read_bytes(fs::u8path(TV_VERSIONED_STUB)); }

tvpack::PeLayout layout(const std::vector<uint8_t>& file) {
  tvpack::PeLayout pe;
  std::string why;
  EXPECT_TRUE(tvpack::parse_pe(file.data(), file.size(), &pe, &why)) << why;
  return pe;
}

std::vector<Resource> resources_of(const std::vector<uint8_t>& file) {
  std::vector<Resource> out;
  std::string why;
  EXPECT_TRUE(tvpack::read_resources(file.data(), file.size(), layout(file), &out, &why)) << why;
  return out;
}

const tvpack::PeSection* section(const tvpack::PeLayout& pe, const char* name) {
  for (const auto& s : pe.sections)
    if (s.name == name) return &s;
  return nullptr;
}

std::vector<tvpack::IconImage> icon_of(size_t count) {
  std::vector<tvpack::IconImage> icon(count);
  for (size_t i = 0; i < count; ++i) {
    icon[i].width = icon[i].height = uint8_t(16 << i);
    icon[i].planes = 1;
    icon[i].bit_count = 32;
    icon[i].data = pattern(300 + 1000 * i, uint32_t(i));
  }
  return icon;
}

// The stub's dialogs, manifest and relocations, the headers the layout changes, and the
// symbol table after the sections: each as it must be after the resources are written.
void check_layout(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& out) {
  tvpack::PeLayout a = layout(stub), b = layout(out);
  for (const Resource& old : resources_of(stub)) {
    if (old.type.id != tvpack::kRtDialog && old.type.id != tvpack::kRtManifest) continue;
    bool kept = false;
    for (const Resource& r : resources_of(out))
      kept = kept || (r.type == old.type && r.name == old.name && r.language == old.language && r.data == old.data);
    EXPECT_TRUE(kept) << "type " << old.type.id << " name " << old.name.id;
  }
  const tvpack::PeSection *reloc_a = section(a, ".reloc"), *reloc_b = section(b, ".reloc"),
                          *rsrc = section(b, ".rsrc");
  ASSERT_TRUE(reloc_a && reloc_b && rsrc);
  EXPECT_EQ(b.sections.size(), a.sections.size());
  EXPECT_GE(reloc_b->virtual_address, rsrc->virtual_address + rsrc->virtual_size);
  EXPECT_EQ(reloc_b->raw_pointer, rsrc->raw_pointer + rsrc->raw_size);
  EXPECT_TRUE(std::equal(stub.begin() + reloc_a->raw_pointer, stub.begin() + reloc_a->raw_pointer + reloc_a->raw_size,
                         out.begin() + reloc_b->raw_pointer));
  uint32_t dirs = b.optional_offset + (b.optional_magic == 0x10B ? 96 : 112);
  EXPECT_EQ(le32_at(out, dirs + 5 * 8), reloc_b->virtual_address);
  EXPECT_EQ(le32_at(out, dirs + 2 * 8 + 4), rsrc->virtual_size);
  const tvpack::PeSection& last = b.sections.back();
  EXPECT_EQ(b.size_of_image, last.virtual_address + 0x1000 * ((last.virtual_size + 0xFFF) / 0x1000));
  EXPECT_EQ(int64_t(b.size_of_initialized_data) - a.size_of_initialized_data,
            int64_t(rsrc->raw_size) - section(a, ".rsrc")->raw_size);
  EXPECT_EQ(b.checksum, tvpack::pe_checksum(out.data(), out.size(), b.checksum_offset));
  uint32_t symbols_a = le32_at(stub, a.pe_offset + 12), symbols_b = le32_at(out, b.pe_offset + 12);
  if (symbols_a != 0) {
    EXPECT_EQ(out.size() - symbols_b, stub.size() - symbols_a);
    EXPECT_TRUE(std::equal(stub.begin() + symbols_a, stub.end(), out.begin() + symbols_b));
  }
}

TEST(ProductResources, VersionInformationIconAndLayout) {
  std::vector<uint8_t> stub = versioned_stub();
  tvpack::VersionInfo before;
  std::string why;
  ASSERT_TRUE(tvpack::read_version_info(stub.data(), stub.size(), &before, &why)) << why;
  tvpack::InstallerInfo full;
  full.product_name = u"Kesta";
  full.product_version = full.file_version = u"2.3";
  full.product_version_number = full.file_version_number = std::array<uint16_t, 4>{2, 3, 0, 0};
  full.description = u"Kesta 安装程序";
  full.company = u"Kesta Ltd";
  full.copyright = u"© 2026";
  tvpack::InstallerInfo file_only;
  file_only.file_version = u"9.8.7.65535";
  file_only.file_version_number = std::array<uint16_t, 4>{9, 8, 7, 65535};
  struct Case {
    tvpack::InstallerInfo info;
    size_t images;
    std::vector<std::string> strings;  // name=value, every string in order
    std::array<uint16_t, 4> file, product;
  };
  const std::array<uint16_t, 4> was = {before.file_version[0], before.file_version[1], before.file_version[2],
                                       before.file_version[3]};
  const std::string v = before.strings.at(1).value;
  const Case cases[] = {
      {{}, 0,
       {"FileDescription=Talvenor 安装程序", "FileVersion=" + v, "OriginalFilename=我的 setup.exe",
        "ProductName=Talvenor", "ProductVersion=" + v},
       was, was},
      {full, 3,
       {"FileDescription=Kesta 安装程序", "FileVersion=2.3", "OriginalFilename=我的 setup.exe", "ProductName=Kesta",
        "ProductVersion=2.3", "CompanyName=Kesta Ltd", "LegalCopyright=© 2026"},
       {2, 3, 0, 0}, {2, 3, 0, 0}},
      {file_only, 1,
       {"FileDescription=Talvenor 安装程序", "FileVersion=9.8.7.65535", "OriginalFilename=我的 setup.exe",
        "ProductName=Talvenor", "ProductVersion=" + v},
       {9, 8, 7, 65535}, was},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.strings[1] + ", " + std::to_string(c.images) + " images");
    std::vector<tvpack::IconImage> icon = icon_of(c.images);
    std::vector<uint8_t> out = tvpack::with_product_resources(stub, c.info, icon, u"我的 setup.exe");
    EXPECT_EQ(out, tvpack::with_product_resources(stub, c.info, icon, u"我的 setup.exe"));
    check_layout(stub, out);
    tvpack::VersionInfo after;
    ASSERT_TRUE(tvpack::read_version_info(out.data(), out.size(), &after, &why)) << why;
    std::vector<std::string> strings;
    for (const auto& s : after.strings) {
      EXPECT_EQ(s.block, "080404B0");
      strings.push_back(s.name + "=" + s.value);
    }
    EXPECT_EQ(strings, c.strings);
    EXPECT_EQ(0, std::memcmp(after.file_version, c.file.data(), 8));
    EXPECT_EQ(0, std::memcmp(after.product_version, c.product.data(), 8));
    ASSERT_EQ(after.vars.size(), 1u);
    EXPECT_TRUE(after.vars[0].name == "Translation" && after.vars[0].value == before.vars.at(0).value);
    EXPECT_EQ(std::vector<uint8_t>(after.fixed.begin() + 24, after.fixed.end()),
              std::vector<uint8_t>(before.fixed.begin() + 24, before.fixed.end()));  // flags, OS, type
    tvpack::ResourceId group;
    std::vector<tvpack::IconImageSummary> images;
    ASSERT_EQ(tvpack::first_icon_group(resources_of(out), &group, &images), c.images != 0);
    ASSERT_EQ(images.size(), c.images);
    size_t icons = 0;
    for (const Resource& r : resources_of(out))
      if (r.type.id == tvpack::kRtIcon) {
        EXPECT_EQ(r.data, icon.at(r.name.id - 1).data);
        ++icons;
      }
    EXPECT_EQ(icons, c.images);
  }
}

// A stub with icons of its own: the product's icon replaces them all, its group taking
// the lowest number the stub's groups had (named groups come first in the tree, and
// Explorer shows the first).
TEST(ProductResources, StubIconsAreReplacedAndTheGroupTakesTheLowestNumber) {
  std::vector<Resource> resources = resources_of(versioned_stub());
  for (auto [type, id, name] : {std::tuple{tvpack::kRtGroupIcon, 9u, u""}, {tvpack::kRtGroupIcon, 4u, u""},
                                {tvpack::kRtGroupIcon, 0u, u"MAIN"}, {tvpack::kRtIcon, 4u, u""}}) {
    Resource r;
    r.type.id = type;
    r.name = {id, name};
    r.data = pattern(40, id);
    resources.push_back(r);
  }
  std::vector<uint8_t> stub = tvpack::with_resources(versioned_stub(), resources);
  check_layout(versioned_stub(), stub);
  std::vector<uint8_t> out = tvpack::with_product_resources(stub, {}, icon_of(2), u"a.exe");
  std::vector<std::pair<uint32_t, uint32_t>> icons;  // (type, id)
  for (const Resource& r : resources_of(out)) {
    if (r.type.id == tvpack::kRtIcon || r.type.id == tvpack::kRtGroupIcon) {
      EXPECT_TRUE(r.name.name.empty());
      icons.push_back({r.type.id, r.name.id});
    }
  }
  EXPECT_EQ(icons, (std::vector<std::pair<uint32_t, uint32_t>>{{3, 1}, {3, 2}, {14, 4}}));
}

TEST(ProductResources, StubsThatCannotTakeThem) {
  tvpack::InstallerInfo named;
  named.product_name = u"Kesta";
  std::vector<uint8_t> bare = make_pe(PeRecipe{});  // no resources at all
  std::vector<uint8_t> signed_stub = versioned_stub();
  tvpack::PeLayout pe = layout(signed_stub);
  signed_stub[pe.optional_offset + (pe.optional_magic == 0x10B ? 96 : 112) + 4 * 8 + 4] = 0x40;  // certificates
  const struct {
    std::vector<uint8_t> stub;
    size_t images;
    const char* phrase;  // "" when the stub comes back as it was
  } cases[] = {
      {bare, 0, ""},
      {bare, 1, "has no resource section"},
      {bare, 0, "has no version information"},
      {signed_stub, 0, "is signed"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(i);
    const tvpack::InstallerInfo info = i == 2 ? named : tvpack::InstallerInfo{};
    try {
      EXPECT_EQ(tvpack::with_product_resources(c.stub, info, icon_of(c.images), u"a.exe"), c.stub);
      EXPECT_STREQ(c.phrase, "");
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.phrase), std::string::npos) << e.what();
      EXPECT_STRNE(c.phrase, "");
    }
  }
}

}  // namespace
