// Unpacking the stored blob: de-interleaving, unscrambling, the trailer and zlib.
#include <zlib.h>

#include <algorithm>

#include "package/container.h"
#include "package/script.h"
#include "platform/platform.h"
#include "platform/standin/standin.h"
#include "support/test_support.h"

namespace {

using tvtest::InstallerTest;

const uint32_t kKey = 0x2C7E13A5u;

std::vector<uint8_t> sample_script(size_t size) {
  std::vector<uint8_t> s(size);
  for (size_t i = 0; i < size; ++i) s[i] = uint8_t(i * 7 + 3);
  return s;
}

// A container whose unread gap between stream and trailer is `gap` bytes long.
std::vector<uint8_t> container_with_gap(const std::vector<uint8_t>& script, size_t gap) {
  std::vector<uint8_t> c = tv::make_container(script);
  c.insert(c.end() - 8, gap, 0xEE);
  return c;
}

void set_le32(std::vector<uint8_t>& c, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) c[at + i] = uint8_t(v >> (8 * i));
}

class ContainerTest : public InstallerTest {
 protected:
  // Embeds a blob made from the container and unpacks it through the installer's path.
  int unpack_container(const std::vector<uint8_t>& container, uint32_t key = kKey) {
    tv::free_script();
    blob_ = tv::make_blob(container, key);
    tv::posix::set_embedded_package(blob_.data(), uint32_t(container.size()), key);
    return tv::unpack();
  }
  void expect_damaged_message() {
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, u"安装文件已损坏!");
    EXPECT_EQ(messages_[0].caption, u"安装失败");
    EXPECT_EQ(messages_[0].type, tv::kMbOk | tv::kMbIconError);
  }
};

TEST_F(ContainerTest, EveryLengthModuloFourRoundTrips) {
  std::vector<uint8_t> script = sample_script(1000);
  size_t base = tv::make_container(script).size();
  for (size_t gap = 0; gap < 4; ++gap) {
    std::vector<uint8_t> c = container_with_gap(script, gap);
    SCOPED_TRACE("N % 4 = " + std::to_string(c.size() % 4));
    EXPECT_EQ(c.size(), base + gap);
    ASSERT_EQ(unpack_container(c), 1);
    ASSERT_EQ(tv::script_length(), script.size());
    EXPECT_TRUE(std::equal(script.begin(), script.end(), tv::script_start()));
  }
  EXPECT_TRUE(messages_.empty());
}

TEST_F(ContainerTest, TailBytesUseTheLowKeyBytes) {
  // Three tail bytes: the XOR of the tail uses key bytes 0, 1, 2 in that order.
  std::vector<uint8_t> c = {1, 2, 3, 4, 5, 6, 7};
  std::vector<uint8_t> s = c;
  tv::scramble_container(s.data(), uint32_t(s.size()), 0x44332211u);
  EXPECT_EQ(s, (std::vector<uint8_t>{1 ^ 0x11, 2 ^ 0x22, 3 ^ 0x33, 4 ^ 0x44, 5 ^ 0x11, 6 ^ 0x22,
                                     7 ^ 0x33}));
}

// The maker writes zeros between the container's bytes; the installer reads none of
// them, so any other filler unpacks to the same script.
TEST_F(ContainerTest, FillerBytesAreNeverRead) {
  std::vector<uint8_t> script = sample_script(333);
  std::vector<uint8_t> c = container_with_gap(script, 1);
  const std::vector<uint8_t> made = tv::make_blob(c, kKey);
  for (size_t i = 1; i < made.size(); i += 2) ASSERT_EQ(made[i], 0) << "filler at " << i;
  for (uint8_t step : {0, 1, 37}) {  // all 0xFF, a count, a spread pattern
    SCOPED_TRACE("filler step " + std::to_string(step));
    tv::free_script();
    blob_ = made;
    for (size_t i = 1; i < blob_.size(); i += 2) blob_[i] = uint8_t(0xFF - step * (i / 2));
    tv::posix::set_embedded_package(blob_.data(), uint32_t(c.size()), kKey);
    ASSERT_EQ(tv::unpack(), 1);
    ASSERT_EQ(tv::script_length(), script.size());
    EXPECT_TRUE(std::equal(script.begin(), script.end(), tv::script_start()));
  }
}

TEST_F(ContainerTest, DamagedStreamIsRefused) {
  std::vector<uint8_t> c = tv::make_container(sample_script(5000));
  c[c.size() / 2] ^= 0x5A;
  EXPECT_EQ(unpack_container(c), 0);
  expect_damaged_message();
}

TEST_F(ContainerTest, WrongKeyIsRefused) {
  std::vector<uint8_t> c = tv::make_container(sample_script(100));
  blob_ = tv::make_blob(c, kKey);
  tv::posix::set_embedded_package(blob_.data(), uint32_t(c.size()), kKey ^ 1);
  EXPECT_EQ(tv::unpack(), 0);
  expect_damaged_message();
}

TEST_F(ContainerTest, TrailerLengthsDecideTheOutcome) {
  std::vector<uint8_t> script = sample_script(4000);
  std::vector<uint8_t> good = container_with_gap(script, 3);
  size_t n = good.size();
  uint32_t z = uint32_t(tv::make_container(script).size() - 8);

  struct Case {
    const char* what;
    uint32_t z, u;
    int result;
  } cases[] = {
      {"Z past N - 8", uint32_t(n - 7), uint32_t(script.size()), 0},
      {"Z huge", 0xFFFFFFF0u, uint32_t(script.size()), 0},
      {"Z shorter than the stream", z - 1, uint32_t(script.size()), 0},
      // zlib's uncompress stops at the end of the stream and ignores what follows
      // it, so a Z reaching into the unread gap still decompresses.
      {"Z a little larger than the stream", z + 3, uint32_t(script.size()), 1},
      {"U smaller than the script", z, uint32_t(script.size() - 1), 0},
      {"U larger than the script", z, uint32_t(script.size() + 100), 1},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    messages_.clear();
    std::vector<uint8_t> c = good;
    set_le32(c, n - 8, k.z);
    set_le32(c, n - 4, k.u);
    EXPECT_EQ(unpack_container(c), k.result);
    if (k.result == 0) {
      expect_damaged_message();
    } else {
      EXPECT_TRUE(messages_.empty());
      // The readers' bounds are the script as written, never the unwritten rest.
      EXPECT_EQ(tv::script_length(), script.size());
    }
  }
}

TEST_F(ContainerTest, ShortOrMissingContainersAreRefused) {
  EXPECT_EQ(tv::unpack(), 0);  // no package at all
  expect_damaged_message();
  messages_.clear();
  EXPECT_EQ(unpack_container({1, 2, 3, 4, 5, 6, 7}), 0);  // shorter than its trailer
  expect_damaged_message();
}

TEST_F(ContainerTest, EmptyScriptUnpacks) {
  ASSERT_EQ(unpack_container(tv::make_container({})), 1);
  EXPECT_EQ(tv::script_length(), 0u);
  EXPECT_NE(tv::script_start(), nullptr);
}

TEST_F(ContainerTest, PresetDictionaryStreamIsRefused) {
  std::vector<uint8_t> script = sample_script(200);
  z_stream zs{};
  ASSERT_EQ(deflateInit(&zs, 9), Z_OK);
  const Bytef dict[] = "dictionary";
  ASSERT_EQ(deflateSetDictionary(&zs, dict, sizeof dict), Z_OK);
  std::vector<uint8_t> out(1024);
  zs.next_in = script.data();
  zs.avail_in = uInt(script.size());
  zs.next_out = out.data();
  zs.avail_out = uInt(out.size());
  ASSERT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  uint32_t z = uint32_t(out.size());
  for (uint32_t v : {z, uint32_t(script.size())})
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
  EXPECT_EQ(unpack_container(out), 0);
  expect_damaged_message();
}

}  // namespace

namespace {

// A trailer that claims a huge script must not make the installer allocate it: the
// buffer is capped at what Z bytes can inflate to, which decides nothing differently.
TEST_F(ContainerTest, HugeClaimedScriptLengthIsNotAllocated) {
  std::vector<uint8_t> script(100000, 'a');  // compresses about 1000:1
  std::vector<uint8_t> c = tv::make_container(script);
  set_le32(c, c.size() - 4, 0xFFFFFFF0u);
  ASSERT_EQ(unpack_container(c), 1);
  EXPECT_EQ(tv::script_length(), script.size());
  EXPECT_TRUE(messages_.empty());
}

}  // namespace

namespace {

std::vector<uint8_t> random_script(size_t size, uint32_t seed) {
  std::vector<uint8_t> s(size);
  for (size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    s[i] = uint8_t(seed >> 23);
  }
  return s;
}

// Every position reported while unpacking, with the number of message boxes shown by
// then; it stops the unpacking at report stop_at (0: never).
struct LoadReports {
  LoadReports(const std::vector<tvtest::Message>* m, size_t stop) : messages(m), stop_at(stop) {}
  const std::vector<tvtest::Message>* messages;
  size_t stop_at;
  std::vector<std::pair<unsigned, size_t>> seen;
  tv::ProgressSink sink = {[](void* self, unsigned position) {
                             auto* r = static_cast<LoadReports*>(self);
                             r->seen.push_back({position, r->messages->size()});
                             if (r->seen.size() == r->stop_at) tv::stop_unpacking();
                           },
                           this};
};

// The bar follows the bytes inflated, for a script that does not compress (many
// slices) and one that compresses a thousandfold (one slice, inflated a few MiB per
// call so that a window is serviced in between). The full bar comes once, last, before
// any message. A report may stop the unpacking: no message, no script; the unpacking
// after it is not stopped.
TEST_F(ContainerTest, LoadingReportsAndMayBeStopped) {
  struct Case {
    const char* what;
    std::vector<uint8_t> script;
    bool damaged;
    size_t stop_at, least_positions;
    int result;
  } cases[] = {{"stopped at the third report", random_script(2 << 20, 5), false, 3, 3, 0},
               {"3 MiB that do not compress", random_script(3 << 20, 7), false, 0, 10, 1},
               {"24 MiB of zeros", std::vector<uint8_t>(24 << 20, 0), false, 0, 5, 1},
               {"damaged", random_script(1 << 20, 3), true, 0, 1, 0}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    messages_.clear();
    std::vector<uint8_t> c = tv::make_container(k.script);
    if (k.damaged) c[c.size() / 2] ^= 0x5A;
    LoadReports r(&messages_, k.stop_at);
    tv::free_script();
    blob_ = tv::make_blob(c, kKey);
    tv::posix::set_embedded_package(blob_.data(), uint32_t(c.size()), kKey);
    EXPECT_EQ(tv::unpack(&r.sink), k.result);
    EXPECT_EQ(messages_.size(), k.damaged ? 1u : 0u);
    ASSERT_FALSE(r.seen.empty());
    EXPECT_EQ(r.seen.back(), std::make_pair(tv::kProgressFull, size_t(0)));
    std::vector<unsigned> steps;
    for (size_t i = 0; i + 1 < r.seen.size(); ++i) steps.push_back(r.seen[i].first);
    EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
    EXPECT_GE(size_t(std::unique(steps.begin(), steps.end()) - steps.begin()), k.least_positions);
    if (k.stop_at != 0) {
      EXPECT_EQ(r.seen.size(), k.stop_at + 1);
    }
    EXPECT_EQ(tv::script_length(), k.result == 1 ? k.script.size() : 0u);
  }
}

// A trailer whose script would need a buffer past the ceiling (2 GiB less a byte) is
// a package whose buffer cannot be allocated, on every build alike: on a 32-bit one a
// U of 0xFFFFFFFF plus the spare byte would wrap to an allocation of nothing.
TEST_F(ContainerTest, ScriptsPastTheCeilingAreNotAllocated) {
  std::vector<uint8_t> script = random_script(2 << 20, 11);  // Z > 2 GiB / 1100
  std::vector<uint8_t> c = tv::make_container(script);
  ASSERT_GT(uint64_t(c.size()) * 1100, uint64_t(tv::kMostScriptBytes));
  for (uint32_t u : {0xFFFFFFFFu, tv::kMostScriptBytes + 1}) {
    SCOPED_TRACE(u);
    messages_.clear();
    set_le32(c, c.size() - 4, u);
    blob_ = tv::make_blob(c, kKey);
    EXPECT_EQ(tv::unpack_blob(blob_.data(), uint32_t(c.size()), kKey), tv::UnpackError::kNoMemory);
    EXPECT_EQ(unpack_container(c), 0);
    expect_damaged_message();
  }
  set_le32(c, c.size() - 4, uint32_t(script.size()));
  EXPECT_EQ(unpack_container(c), 1);
}

}  // namespace
