// The product's resources written into a stub with the installer's own resources: read
// back by the maker's reader, the relocations and symbol table intact, the stub's icons
// replaced, and the stubs that cannot take them. resources_pefile_test.py reads a
// built installer with an independent reader.
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <tuple>

#include "common/errors.h"
#include "assemble/build.h"
#include "pack_test_support.h"
#include "pe/icon_group.h"
#include "pe/pe_image.h"
#include "pe/pe_resources.h"
#include "pe/product.h"
#include "pe/version_info.h"
#include "package/writer.h"
#include "base/resource_ids.h"
#include "read/inspect.h"
#include "session/install_walk.h"

namespace {

using namespace packtest;
using tvpack::Resource;

std::vector<uint8_t> versioned_stub() { return read_bytes(fs::u8path(TV_VERSIONED_STUB)); }

tvpack::PeLayout layout(const std::vector<uint8_t>& file) { return tvpack::parse_pe(file.data(), file.size()); }

std::vector<Resource> resources_of(const std::vector<uint8_t>& file) {
  return tvpack::read_resources(file.data(), file.size(), layout(file));
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
  tvpack::ProductInfo full;
  full.product_name = u"Kesta";
  full.product_version_number = std::array<uint16_t, 4>{2, 3, 0, 65535};
  for (size_t images : {0, 2}) {
    for (tvpack::ProductInfo info : {tvpack::ProductInfo{}, full}) {
      SCOPED_TRACE(std::to_string(images) + " images, " +
                   (info.product_name ? "a product" : "no [installer]"));
      info.icon = icon_of(images);
      std::vector<uint8_t> out = tvpack::with_product_resources(stub, info, u"我的 setup.exe");
      check_layout(stub, out);
      tvpack::VersionInfo before = tvpack::read_version_info(stub.data(), stub.size());
      tvpack::VersionInfo after = tvpack::read_version_info(out.data(), out.size());
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
  tvpack::ProductInfo product;
  product.icon = icon_of(2);
  std::vector<uint8_t> out = tvpack::with_product_resources(stub, product, u"a.exe");
  std::vector<std::pair<uint32_t, uint32_t>> icons;  // (type, id)
  for (const Resource& r : resources_of(out)) {
    if (r.type.id == tvpack::kRtIcon || r.type.id == tvpack::kRtGroupIcon) {
      EXPECT_TRUE(r.name.name.empty());
      icons.push_back({r.type.id, r.name.id});
    }
  }
  EXPECT_EQ(icons, (std::vector<std::pair<uint32_t, uint32_t>>{{3, 1}, {3, 2}, {14, 4}}));
}

// A PE file whose one section holds the resource tree `tree` as it is (offsets count
// from the tree's start, which is the section's start at rva 0x1000).
std::vector<uint8_t> pe_with_tree(const std::vector<uint8_t>& tree) {
  PeRecipe recipe;
  recipe.sections = 1;
  std::vector<uint8_t> f = make_pe(recipe);
  tvpack::PeLayout pe = layout(f);
  f.resize(pe.sections[0].raw_pointer);
  f.insert(f.end(), tree.begin(), tree.end());
  auto put32 = [&f](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = uint8_t(v >> (8 * i));
  };
  put32(pe.section_table + 8, uint32_t(tree.size()));
  put32(pe.section_table + 16, uint32_t(tree.size()));
  put32(pe.optional_offset + 96 + 2 * 8, pe.sections[0].virtual_address);
  put32(pe.optional_offset + 96 + 2 * 8 + 4, uint32_t(tree.size()));
  return f;
}

// A tree of one named type whose `names` entries, all named by one string of `units`
// units, lead to one shared directory of `languages` entries, all leading to one empty
// data entry: names * languages resources from a few bytes per entry.
std::vector<uint8_t> shared_tree(uint32_t names, uint32_t languages, uint32_t units) {
  const uint32_t high = 0x80000000u, names_dir = 24, languages_dir = names_dir + 16 + 8 * names;
  const uint32_t data_entry = languages_dir + 16 + 8 * languages, text = data_entry + 16;
  std::vector<uint8_t> t(text + 2 + 2 * units, 'a');
  auto put = [&t](uint32_t at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) t[at + i] = uint8_t(v >> (8 * i));
  };
  auto directory = [&](uint32_t at, uint32_t named, uint32_t count, uint32_t name, uint32_t target) {
    std::fill(t.begin() + at, t.begin() + at + 16, 0);
    put(at + 12, named ? count : 0, 2);
    put(at + 14, named ? 0 : count, 2);
    for (uint32_t i = 0; i < count; ++i) {
      put(at + 16 + 8 * i, named ? name : i, 4);
      put(at + 20 + 8 * i, target, 4);
    }
  };
  directory(0, 1, 1, high | text, high | names_dir);
  directory(names_dir, 1, names, high | text, high | languages_dir);
  directory(languages_dir, 0, languages, 0, data_entry);
  std::fill(t.begin() + data_entry, t.begin() + text, 0);
  put(data_entry, 0x1000, 4);
  put(text, units, 2);
  return t;
}

// A stub whose resource section is the whole file, headers included (raw data at offset
// 0, file alignment 1): its root directory in the DOS header, the rest after the
// headers, one version resource.
std::vector<uint8_t> stub_in_its_headers() {
  PeRecipe recipe;
  recipe.sections = 1;
  std::vector<uint8_t> f = make_pe(recipe);
  tvpack::PeLayout pe = layout(f);
  auto put = [&f](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = uint8_t(v >> (8 * i));
  };
  const uint32_t high = 0x80000000u, tree = 0x400, size = uint32_t(f.size());
  const uint32_t rva = pe.sections[0].virtual_address;
  std::vector<uint8_t> version = tvpack::write_version_resource(tvpack::VersionInfo{});
  put(12, 1 << 16), put(16, tvpack::kRtVersion), put(20, high | tree);  // the root: one type
  std::fill(f.begin() + tree, f.begin() + tree + 64, 0);
  put(tree + 12, 1 << 16), put(tree + 16, 1), put(tree + 20, high | (tree + 24));  // name 1
  put(tree + 24 + 12, 1 << 16), put(tree + 24 + 20, tree + 48);                    // language 0
  put(tree + 48, rva + tree + 64), put(tree + 52, uint32_t(version.size()));
  std::copy(version.begin(), version.end(), f.begin() + tree + 64);
  put(pe.optional_offset + 36, 1);  // file alignment
  put(pe.optional_offset + 96 + 16, rva), put(pe.optional_offset + 96 + 20, size);
  put(pe.section_table + 8, size), put(pe.section_table + 16, size), put(pe.section_table + 20, 0);
  return f;
}

TEST(ProductResources, StubsThatCannotTakeThem) {
  std::vector<uint8_t> bare = make_pe(PeRecipe{}), signed_stub = versioned_stub();
  tvpack::PeLayout pe = layout(signed_stub);
  uint32_t certificates = pe.optional_offset + (pe.optional_magic == 0x10B ? 96 : 112) + 4 * 8;
  signed_stub[certificates + 4] = 0x40;
  EXPECT_EQ(tvpack::with_product_resources(bare, {}, u"a.exe"), bare);  // nothing to write
  for (auto [stub, images, phrase] :
       {std::tuple{bare, 1, "has no resource section"},
        {signed_stub, 0, "is signed"},
        {pe_with_tree(shared_tree(2, 1, 5)), 1, "has two resources of one type, name and language"},
        {stub_in_its_headers(), 1, "has its resources inside its headers"}}) {
    tvpack::ProductInfo product;
    product.icon = icon_of(size_t(images));
    const auto& bytes = stub;  // a lambda may not capture a structured binding before C++20
    std::string why = refusal([&] { tvpack::with_product_resources(bytes, product, u"a.exe"); });
    EXPECT_NE(why.find(phrase), std::string::npos) << "expected: " << phrase << "; got: " << why;
  }
}

// Trees made to cost far more than their size: a few bytes of entries naming one long
// string, or sharing one directory, may not make the reader hold or read that string
// once per entry (gigabytes); a tree of a few resources is read as it is.
TEST(ProductResources, TreesThatShareTheirParts) {
  const struct {
    uint32_t names, languages, units;
    const char* why;  // "" when read
  } cases[] = {
      {2, 3, 5, ""},
      {16, 64, 65535, "has too many resource names"},  // 1,024 resources of two 128 KiB names
      {65000, 0, 65535, "has too many resource names"},  // 65,000 names read, no resource
      {300, 300, 1, "has too many resources"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.names) + " names, " + std::to_string(c.languages) + " languages");
    std::vector<uint8_t> file = pe_with_tree(shared_tree(c.names, c.languages, c.units));
    std::vector<Resource> out;
    EXPECT_EQ(refusal([&] { out = tvpack::read_resources(file.data(), file.size(), layout(file)); }), c.why);
    EXPECT_EQ(out.size(), *c.why ? 0 : c.names * c.languages);
  }
}

// inspect's summary of an icon group: each image as its group entry describes it (0
// for 256), PNG when the icon its entry names is one: the last icon of that number, a
// named icon never, one that is missing not (how fast it is for 65,535 images:
// bench/bench_icon_group.cpp).
TEST(ProductResources, TheIconSummaryNamesEachImageByItsIcon) {
  const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0};
  const std::vector<uint8_t> bitmap = {40, 0, 0, 0, 16, 0, 0, 0};
  auto icon = [](uint32_t id, const std::u16string& name, const std::vector<uint8_t>& data) {
    Resource r;
    r.type.id = tvpack::kRtIcon;
    r.name = {id, name};
    r.data = data;
    return r;
  };
  std::vector<Resource> resources = {icon(1, u"", bitmap), icon(2, u"", png), icon(3, u"", png),
                                     icon(3, u"", bitmap), icon(4, u"", bitmap), icon(0, u"X", png)};
  const struct {
    uint8_t width, height;
    uint16_t bits, icon;
  } entries[] = {{16, 16, 4, 1}, {0, 0, 32, 2}, {32, 48, 8, 3}, {64, 64, 24, 9}, {1, 1, 1, 0}};
  for (int g = 0; g < 2; ++g) {  // a second group, after the first, is not looked at
    Resource group;
    group.type.id = tvpack::kRtGroupIcon;
    group.name.id = uint32_t(7 + g);
    group.data.assign(6 + 14 * std::size(entries), 0);
    group.data[4] = uint8_t(std::size(entries) - g);
    for (size_t i = 0; i < std::size(entries); ++i) {
      uint8_t* e = &group.data[6 + 14 * i];
      e[0] = entries[i].width, e[1] = entries[i].height, e[6] = uint8_t(entries[i].bits);
      e[12] = uint8_t(entries[i].icon);
    }
    resources.push_back(group);
  }
  tvpack::ResourceId id;
  std::vector<tvpack::IconImageSummary> images;
  ASSERT_TRUE(tvpack::first_icon_group(resources, &id, &images));
  EXPECT_EQ(id.id, 7u);
  std::vector<std::string> got;
  for (const auto& i : images)
    got.push_back(std::to_string(i.width) + "x" + std::to_string(i.height) + " " + std::to_string(i.bit_count) +
                  (i.png ? " PNG" : " bitmap"));
  EXPECT_EQ(got, (std::vector<std::string>{"16x16 4 bitmap", "256x256 32 PNG", "32x48 8 bitmap", "64x64 24 bitmap",
                                           "1x1 1 bitmap"}));
  std::vector<Resource> no_group(resources.begin(), resources.begin() + 6);
  EXPECT_FALSE(tvpack::first_icon_group(no_group, &id, &images));
}

// A stub whose tree lists the version type twice (Chinese version information in one,
// damaged English in the other): the installer carries one, the product's, and it reads back.
TEST(ProductResources, EveryVersionOfTheStubIsReplacedByTheProducts) {
  std::vector<uint8_t> stub = read_bytes(fs::u8path(TV_RESOURCE_SEEDS "/version_twice"));
  size_t versions = 0;
  for (const Resource& r : resources_of(stub)) versions += r.type.id == tvpack::kRtVersion;
  ASSERT_EQ(versions, 2u);
  tvpack::ProductInfo product;
  product.product_name = u"Kesta";
  std::vector<uint8_t> out = tvpack::with_product_resources(stub, product, u"a.exe");
  std::vector<Resource> written;
  for (const Resource& r : resources_of(out))
    if (r.type.id == tvpack::kRtVersion) written.push_back(r);
  ASSERT_EQ(written.size(), 1u);
  EXPECT_EQ(written[0].language, 2052);
  tvpack::VersionInfo info = tvpack::read_version_info(out.data(), out.size());
  bool named = false;
  for (const auto& v : info.strings) named |= v.name == "ProductName" && v.value == "Kesta";
  EXPECT_TRUE(named);
}

// An installer made from a raw install script (wrap): the stub's resources as they are.
std::vector<uint8_t> wrapped(const std::vector<uint8_t>& stub) {
  TempDir dir;
  tv::ScriptWriter w;
  for (int32_t v : {1, 0, 0}) w.put_int(v);
  w.put_string(u"");
  tvpack::wrap_script(dir.write("s.bin", w.bytes()), dir.write("stub.exe", stub), 1, dir / "w.exe");
  return read_bytes(dir / "w.exe");
}

// The folder name goes into the one folder-name resource (any the stub had goes), and
// the installer's own code, given the output's resources as it finds them, names the
// product and the folder as the manifest says; without them, as the stub does.
TEST(ProductResources, TheInstallerReadsTheProductAndFolderNamesWritten) {
  std::vector<uint8_t> stub = versioned_stub();
  tvpack::ProductInfo product;
  product.product_name = u"晨光笔记 DawnNotes & 100%";
  product.folder_name = u"晨光笔记";
  std::vector<uint8_t> first = tvpack::with_product_resources(stub, product, u"a.exe");
  product.folder_name = u"DawnNotes";
  std::vector<uint8_t> out = tvpack::with_product_resources(first, product, u"a.exe");
  std::vector<Resource> folder_names;
  for (const Resource& r : resources_of(out))
    if (r.type.id == tv::kRtRcdataType) folder_names.push_back(r);
  ASSERT_EQ(folder_names.size(), 1u);
  EXPECT_EQ(folder_names[0].name.id, tv::kFolderNameId);
  EXPECT_EQ(folder_names[0].language, 0);
  EXPECT_EQ(folder_names[0].data, std::vector<uint8_t>({'D', 0, 'a', 0, 'w', 0, 'n', 0, 'N', 0, 'o', 0, 't', 0, 'e', 0,
                                                        's', 0}));
  std::vector<Resource> unfit = resources_of(stub);
  unfit.push_back(folder_names[0]);
  unfit.back().data = {'C', 0, 'O', 0, 'N', 0};
  struct Case {
    std::vector<uint8_t> installer;
    std::string names;
  } cases[] = {
      {out,
       "product name: \"晨光笔记 DawnNotes & 100%\"; the retry prompt and the old-version box ask to close it\n"
       "folder name: \"DawnNotes\"; the browse button adds \"\\DawnNotes\", an empty folder box installs to "
       "\"D:\\DawnNotes\"\n"},
      {tvpack::with_product_resources(stub, tvpack::ProductInfo{}, u"a.exe"),
       "product name: \"Talvenor\"; the retry prompt and the old-version box ask to close it\n"
       "folder name: none; the browse button adds \"\\KESTA\", an empty folder box installs to \"D:\\Kesta\"\n"},
      {wrapped(stub),
       "product name: \"Talvenor\"; the retry prompt and the old-version box ask to close it\n"
       "folder name: none; the browse button adds \"\\KESTA\", an empty folder box installs to \"D:\\Kesta\"\n"},
      {tvpack::with_resources(stub, unfit),
       "product name: \"Talvenor\"; the retry prompt and the old-version box ask to close it\n"
       "folder name: none (the installer ignores its resource of 6 bytes: no folder name Windows can hold); the "
       "browse button adds \"\\KESTA\", an empty folder box installs to \"D:\\Kesta\"\n"},
  };
  for (const Case& c : cases) {
    tvpack::InstallWalk walk;
    walk.open(c.installer);  // no package: the resources are read all the same
    EXPECT_EQ(tvpack::product_names_text(), c.names);
  }
}

// The output's name is its OriginalFilename; on Linux a name that is not UTF-8 is
// built all the same, the bytes that are no text standing as U+FFFD.
TEST(ProductResources, OutputNamesThatAreNotText) {
#ifdef _WIN32
  GTEST_SKIP() << "names on Windows are UTF-16";
#else
  TempDir dir;
  dir.write("a.txt", "a");
  fs::path manifest = dir.write("m.toml",
                                "[installer]\nproduct_name = \"K\"\n[[variable]]\nname = \"{App}\"\nvalue = 'D:\\K'\n"
                                "[[file]]\nsource = \"a.txt\"\ndestination = '{App}\\a'\n");
  fs::path out = dir / "setup-\xff.exe";
  tvpack::build_installer(manifest, fs::u8path(TV_VERSIONED_STUB), 7, out, {});
  std::vector<uint8_t> file = read_bytes(out);
  tvpack::VersionInfo info = tvpack::read_version_info(file.data(), file.size());
  std::vector<std::string> names;
  for (const auto& v : info.strings)
    if (v.name == "OriginalFilename") names.push_back(v.value);
  EXPECT_EQ(names, std::vector<std::string>{"setup-\xEF\xBF\xBD.exe"});
#endif
}

}  // namespace
