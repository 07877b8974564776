// The product's resources written into a stub with the installer's own resources: read
// back by the maker's reader, the relocations and symbol table intact, the stub's icons
// replaced, and the stubs that cannot take them. resources_pefile_test.py reads a
// built installer with an independent reader.
#include <cstring>
#include <stdexcept>
#include <tuple>

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

// The relocations, the headers the layout changes and the symbol table after the
// sections: each as it must be after the resources are written.
void check_layout(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& out) {
  tvpack::PeLayout a = layout(stub), b = layout(out);
  const tvpack::PeSection *reloc_a = section(a, ".reloc"), *reloc_b = section(b, ".reloc"),
                          *rsrc = section(b, ".rsrc");
  ASSERT_TRUE(reloc_a && reloc_b && rsrc);
  EXPECT_EQ(b.sections.size(), a.sections.size());
  EXPECT_GE(reloc_b->virtual_address, rsrc->virtual_address + rsrc->virtual_size);
  EXPECT_EQ(reloc_b->raw_pointer, rsrc->raw_pointer + rsrc->raw_size);
  EXPECT_TRUE(std::equal(stub.begin() + reloc_a->raw_pointer,
                         stub.begin() + reloc_a->raw_pointer + reloc_a->raw_size,
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

TEST(ProductResources, LayoutAndRoundTrip) {
  std::vector<uint8_t> stub = versioned_stub();
  tvpack::InstallerInfo full;
  full.product_name = u"Kesta";
  full.product_version_number = std::array<uint16_t, 4>{2, 3, 0, 65535};
  for (size_t images : {0, 2}) {
    for (const tvpack::InstallerInfo& info : {tvpack::InstallerInfo{}, full}) {
      SCOPED_TRACE(std::to_string(images) + " images, " +
                   (info.product_name ? "a product" : "no [installer]"));
      std::vector<uint8_t> out =
          tvpack::with_product_resources(stub, info, icon_of(images), u"我的 setup.exe");
      check_layout(stub, out);
      tvpack::VersionInfo before, after;
      std::string why;
      ASSERT_TRUE(tvpack::read_version_info(stub.data(), stub.size(), &before, &why) &&
                  tvpack::read_version_info(out.data(), out.size(), &after, &why))
          << why;
      std::vector<std::string> got, want;
      for (const auto& v : before.strings) {
        bool named = v.name == "ProductName" && info.product_name;
        std::string value = v.name == "OriginalFilename" ? "我的 setup.exe" : named ? "Kesta" : v.value;
        want.push_back(v.name + "=" + value);
      }
      for (const auto& v : after.strings) got.push_back(v.name + "=" + v.value);
      EXPECT_EQ(got, want);
      const uint16_t* product =
          info.product_version_number ? info.product_version_number->data() : before.product_version;
      EXPECT_EQ(0, std::memcmp(after.product_version, product, 8));
      tvpack::ResourceId group;
      std::vector<tvpack::IconImageSummary> summary;
      EXPECT_EQ(tvpack::first_icon_group(resources_of(out), &group, &summary), images != 0);
      EXPECT_EQ(summary.size(), images);
    }
  }
}

// A stub with icons of its own: the product's icon replaces them all, its group taking
// the lowest number the stub's groups had (named groups come first in the tree, and
// Explorer shows the first).
TEST(ProductResources, StubIconsAreReplacedAndTheGroupTakesTheLowestNumber) {
  std::vector<Resource> resources = resources_of(versioned_stub());
  for (auto [type, id, name] : {std::tuple{tvpack::kRtGroupIcon, 9u, u""},
                                {tvpack::kRtGroupIcon, 4u, u""},
                                {tvpack::kRtGroupIcon, 0u, u"MAIN"},
                                {tvpack::kRtIcon, 4u, u""}}) {
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
  std::vector<uint8_t> bare = make_pe(PeRecipe{}), signed_stub = versioned_stub();
  tvpack::PeLayout pe = layout(signed_stub);
  uint32_t certificates = pe.optional_offset + (pe.optional_magic == 0x10B ? 96 : 112) + 4 * 8;
  signed_stub[certificates + 4] = 0x40;
  EXPECT_EQ(tvpack::with_product_resources(bare, {}, {}, u"a.exe"), bare);  // nothing to write
  for (auto [stub, images, phrase] :
       {std::tuple{bare, 1, "has no resource section"}, {signed_stub, 0, "is signed"}}) {
    try {
      tvpack::with_product_resources(stub, {}, icon_of(size_t(images)), u"a.exe");
      ADD_FAILURE() << "accepted; expected: " << phrase;
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(phrase), std::string::npos) << e.what();
    }
  }
}

}  // namespace
