// The colour service's operations as the codec and the shell extension call them: the
// last-error value of every refusal, the header in host order, and when changes reach
// the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "colour_service.h"
#include "icc_profile.h"
#include "profile_builder.h"
#include "scratch.h"

using namespace testing_icc;

namespace {

constexpr TAGTYPE kDesc = 0x64657363;

class Service : public ::testing::Test {
 protected:
  void SetUp() override {
    original = BuildProfile({{"rXYZ", Pattern(20, 1)},
                             {"desc", DescTag("Office monitor", true)},
                             {"dmdd", Pattern(16, 5)}});
    path = folder.Put("profile.icc", original);
  }
  HPROFILE Open(const std::string& file, DWORD access, DWORD share = 0) {
    PROFILE record = {PROFILE_FILENAME, const_cast<char*>(file.c_str()), DWORD(file.size() + 1)};
    return colour::OpenColorProfileA(&record, access, share, OPEN_EXISTING);
  }
  // Opening `file` fails with `error`.
  void Refused(const std::string& file, DWORD access, DWORD error) {
    SetLastError(0);
    EXPECT_EQ(Open(file, access, FILE_SHARE_READ | FILE_SHARE_WRITE), nullptr) << file;
    EXPECT_EQ(GetLastError(), error) << file;
  }

  ScratchFolder folder;
  std::vector<uint8_t> original;
  std::string path;
};

TEST_F(Service, OpenPassesTheReasonOfEveryRefusal) {
  PROFILE record = {PROFILE_FILENAME, const_cast<char*>(path.c_str()), DWORD(path.size() + 1)};
  auto open = [&](PROFILE* p, DWORD access, DWORD creation) {
    SetLastError(0);
    EXPECT_EQ(colour::OpenColorProfileA(p, access, 0, creation), nullptr);
    return GetLastError();
  };
  EXPECT_EQ(open(nullptr, PROFILE_READ, OPEN_EXISTING), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(open(&record, 0, OPEN_EXISTING), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(open(&record, 3, OPEN_EXISTING), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(open(&record, PROFILE_READ, CREATE_ALWAYS), DWORD(ERROR_NOT_SUPPORTED));
  // A profile in memory is read, never written.
  PROFILE memory = {PROFILE_MEMBUFFER, original.data(), DWORD(original.size())};
  EXPECT_EQ(open(&memory, PROFILE_READWRITE, OPEN_EXISTING), DWORD(ERROR_INVALID_PARAMETER));
  colour::ProfileHandle in_memory(colour::OpenColorProfileA(&memory, PROFILE_READ, 0, OPEN_EXISTING));
  PROFILEHEADER header;
  ASSERT_TRUE(in_memory.get());
  EXPECT_TRUE(colour::GetColorProfileHeader(in_memory.get(), &header));
  EXPECT_EQ(header.phSize, original.size());
  PROFILE garbage = {PROFILE_MEMBUFFER, original.data(), 100};
  EXPECT_EQ(open(&garbage, PROFILE_READ, OPEN_EXISTING), DWORD(ERROR_INVALID_PROFILE));
  PROFILE unterminated = record;
  unterminated.cbDataSize = DWORD(path.size());  // the name's terminator lies outside
  EXPECT_EQ(open(&unterminated, PROFILE_READ, OPEN_EXISTING), DWORD(ERROR_INVALID_PARAMETER));

  Refused(folder.File("missing.icc"), PROFILE_READ, ERROR_FILE_NOT_FOUND);
  Refused(folder.File("nowhere\\missing.icc"), PROFILE_READ, ERROR_PATH_NOT_FOUND);
  Refused(folder.Path(), PROFILE_READ, ERROR_ACCESS_DENIED);

  std::vector<uint8_t> many_tags = original, tag_outside = original;
  icc::StoreBE32(many_tags.data() + 128, 0x10000000);
  icc::StoreBE32(tag_outside.data() + 140, 0xFFFFFFF0);
  for (const auto& bytes : {std::vector<uint8_t>{}, std::vector<uint8_t>(131, 0),
                            std::vector<uint8_t>(original.begin(), original.end() - 4),
                            many_tags, tag_outside})
    Refused(folder.Put("bad.icc", bytes), PROFILE_READ, ERROR_INVALID_PROFILE);

  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  Refused(path, PROFILE_READWRITE, ERROR_ACCESS_DENIED);
  HPROFILE reader = Open(path, PROFILE_READ);
  EXPECT_NE(reader, nullptr);
  EXPECT_TRUE(colour::CloseColorProfile(reader));
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));

  // Share modes: a writer that shares nothing locks everyone out, and a reader that
  // shares reading keeps writers out.
  HPROFILE writer = Open(path, PROFILE_READWRITE, 0);
  ASSERT_NE(writer, nullptr);
  Refused(path, PROFILE_READ, ERROR_SHARING_VIOLATION);
  EXPECT_TRUE(colour::CloseColorProfile(writer));
  reader = Open(path, PROFILE_READ, FILE_SHARE_READ);
  ASSERT_NE(reader, nullptr);
  HPROFILE second = Open(path, PROFILE_READ, FILE_SHARE_READ);
  EXPECT_NE(second, nullptr);
  SetLastError(0);
  EXPECT_EQ(Open(path, PROFILE_READWRITE, FILE_SHARE_READ), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(colour::CloseColorProfile(second));
  EXPECT_TRUE(colour::CloseColorProfile(reader));
  EXPECT_TRUE(OpenExclusively(path));
}

TEST_F(Service, ElementReadsAndTheSizeQuery) {
  HPROFILE h = Open(path, PROFILE_READ);
  ASSERT_NE(h, nullptr);
  const auto desc = DescTag("Office monitor", true);

  DWORD size = 7;
  BOOL reference = 5;
  SetLastError(0);
  EXPECT_FALSE(colour::GetColorProfileElement(h, kDesc, 0, &size, nullptr, &reference));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, desc.size());

  // The ASCII count alone, as the info tip reads it, and a request past the tag's end.
  uint8_t buffer[400] = {};
  size = 4;
  ASSERT_TRUE(colour::GetColorProfileElement(h, kDesc, 8, &size, buffer, &reference));
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(icc::LoadBE32(buffer), 15u);
  EXPECT_FALSE(reference);
  size = sizeof buffer;
  ASSERT_TRUE(colour::GetColorProfileElement(h, kDesc, 0, &size, buffer, nullptr));
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + size), desc);

  size = 4;
  SetLastError(0);
  EXPECT_FALSE(colour::GetColorProfileElement(h, kDesc, DWORD(desc.size()) + 1, &size, buffer,
                                              nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(colour::GetColorProfileElement(h, kDesc, 0, nullptr, buffer, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  size = 4;
  for (uint8_t* b : {buffer, static_cast<uint8_t*>(nullptr)}) {
    EXPECT_FALSE(colour::GetColorProfileElement(h, 0x63707274 /* cprt */, 0, &size, b, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_TAG_NOT_FOUND));
    EXPECT_EQ(size, 4u);
  }
  EXPECT_TRUE(colour::CloseColorProfile(h));

  // Bytes that another table entry uses too are reported as a reference.
  const auto d = DescTag("Shared", false);
  h = Open(folder.Put("shared.icc", BuildProfile({{"desc", d, 168}, {"dmdd", d, 168}})),
           PROFILE_READ);
  ASSERT_NE(h, nullptr);
  size = 4;
  ASSERT_TRUE(colour::GetColorProfileElement(h, kDesc, 0, &size, buffer, &reference));
  EXPECT_TRUE(reference);
  EXPECT_TRUE(colour::CloseColorProfile(h));
}

TEST_F(Service, HeaderTravelsInHostOrderAndIsStoredAsGiven) {
  HPROFILE h = Open(path, PROFILE_READWRITE, FILE_SHARE_READ);
  ASSERT_NE(h, nullptr);
  PROFILEHEADER header;
  ASSERT_TRUE(colour::GetColorProfileHeader(h, &header));
  EXPECT_EQ(header.phSize, original.size());
  EXPECT_EQ(header.phClass, 0x6D6E7472u);  // 'mntr'
  EXPECT_EQ(header.phDataColorSpace, 0x52474220u);
  EXPECT_EQ(header.phConnectionSpace, 0x58595A20u);
  EXPECT_EQ(header.phVersion, 0x02100000u);

  header.phRenderingIntent = 3;
  header.phClass = 0x70727472;  // 'prtr'
  header.phSize = 1;            // wrong on purpose: the file gets its real length
  ASSERT_TRUE(colour::SetColorProfileHeader(h, &header));
  EXPECT_EQ(FileBytes(path), original) << "changed before the close";
  ASSERT_TRUE(colour::CloseColorProfile(h));

  const auto after = FileBytes(path);
  ASSERT_EQ(after.size(), original.size());
  EXPECT_EQ(icc::LoadBE32(after.data()), after.size());
  auto expected = original;  // every other byte as it was
  std::copy_n("prtr", 4, expected.begin() + 12);
  icc::StoreBE32(expected.data() + 64, 3);
  EXPECT_TRUE(std::equal(after.begin() + 4, after.end(), expected.begin() + 4));
}

TEST_F(Service, ChangesReachTheFileOnlyWhenClosed) {
  HPROFILE h = Open(path, PROFILE_READWRITE, FILE_SHARE_READ);
  ASSERT_NE(h, nullptr);
  const auto tag = DescTag("A longer description than the one before", false);
  ASSERT_TRUE(colour::SetColorProfileElementSize(h, kDesc, DWORD(tag.size())));
  DWORD count = DWORD(tag.size());
  ASSERT_TRUE(colour::SetColorProfileElement(h, kDesc, 0, &count, const_cast<uint8_t*>(tag.data())));

  // The handle sees its own change; the file does not yet.
  std::vector<uint8_t> seen(tag.size());
  DWORD size = DWORD(seen.size());
  ASSERT_TRUE(colour::GetColorProfileElement(h, kDesc, 0, &size, seen.data(), nullptr));
  EXPECT_EQ(seen, tag);
  EXPECT_EQ(FileBytes(path), original);

  ASSERT_TRUE(colour::CloseColorProfile(h));
  const auto after = FileBytes(path);
  EXPECT_EQ(TagsOf(after).at("desc"), tag);
  EXPECT_EQ(TagsOf(after).at("dmdd"), Pattern(16, 5));
  EXPECT_EQ(icc::LoadBE32(after.data()), after.size());
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"profile.icc"});

  // A read-write handle closed without a change leaves the file alone.
  h = Open(path, PROFILE_READWRITE);
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(colour::CloseColorProfile(h));
  EXPECT_EQ(FileBytes(path), after);
}

TEST_F(Service, RefusedChangesStoreNothing) {
  uint8_t bytes[8] = {'d', 'e', 's', 'c'};
  DWORD count = sizeof bytes;
  PROFILEHEADER header;

  HPROFILE reader = Open(path, PROFILE_READ);
  ASSERT_NE(reader, nullptr);
  ASSERT_TRUE(colour::GetColorProfileHeader(reader, &header));
  SetLastError(0);
  EXPECT_FALSE(colour::SetColorProfileElementSize(reader, kDesc, 8));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(colour::SetColorProfileElement(reader, kDesc, 0, &count, bytes));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(colour::SetColorProfileHeader(reader, &header));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(colour::CloseColorProfile(reader));
  EXPECT_EQ(FileBytes(path), original);

  // One failed change spoils the handle: later changes succeed, but closing stores
  // nothing and reports the first failure.
  struct Case {
    const char* what;
    BOOL (*fail)(HPROFILE);
    DWORD error;
  } cases[] = {
      {"write past the tag",
       [](HPROFILE h) {
         uint8_t b[8] = {};
         DWORD n = sizeof b;
         return colour::SetColorProfileElement(h, kDesc, 200, &n, b);
       },
       ERROR_INVALID_PARAMETER},
      {"missing tag",
       [](HPROFILE h) {
         uint8_t b[8] = {};
         DWORD n = sizeof b;
         return colour::SetColorProfileElement(h, 0x63707274, 0, &n, b);
       },
       ERROR_TAG_NOT_FOUND},
      {"no header", [](HPROFILE h) { return colour::SetColorProfileHeader(h, nullptr); },
       ERROR_INVALID_PARAMETER},
      {"a size the header's size field cannot hold",
       [](HPROFILE h) { return colour::SetColorProfileElementSize(h, kDesc, 0xFFFFFFF0); },
       ERROR_INVALID_PARAMETER},
      // Half the address space of a 32-bit process (a 64-bit one would really get it).
      {"more memory than there is",
       [](HPROFILE h) {
         return sizeof(void*) == 4 ? colour::SetColorProfileElementSize(h, kDesc, 0x80000000)
                                   : colour::SetColorProfileElementSize(h, kDesc, 0xFFFFFFF0);
       },
       sizeof(void*) == 4 ? DWORD(ERROR_NOT_ENOUGH_MEMORY) : DWORD(ERROR_INVALID_PARAMETER)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HPROFILE h = Open(path, PROFILE_READWRITE);
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(colour::SetColorProfileElementSize(h, kDesc, 8));
    EXPECT_FALSE(c.fail(h));
    EXPECT_EQ(GetLastError(), c.error);
    count = sizeof bytes;
    EXPECT_TRUE(colour::SetColorProfileElement(h, kDesc, 0, &count, bytes));
    SetLastError(0);
    EXPECT_FALSE(colour::CloseColorProfile(h));
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(FileBytes(path), original);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"profile.icc"});
    EXPECT_TRUE(OpenExclusively(path));
  }
}

TEST_F(Service, UnknownHandlesAreRefused) {
  HPROFILE closed = Open(path, PROFILE_READWRITE);
  ASSERT_NE(closed, nullptr);
  ASSERT_TRUE(colour::CloseColorProfile(closed));
  // New profiles get the memory of the closed one, never its handle.
  for (int i = 0; i < 100; ++i) {
    HPROFILE h = Open(path, PROFILE_READ);
    ASSERT_NE(h, nullptr);
    EXPECT_NE(h, closed);
    colour::CloseColorProfile(h);
  }
  int local = 0;
  for (HPROFILE h : {HPROFILE(nullptr), closed, HPROFILE(&local)}) {
    PROFILEHEADER header = {};
    DWORD count = 4;
    uint8_t buffer[4] = {};
    auto refused = [](BOOL ok) { return !ok && GetLastError() == ERROR_INVALID_HANDLE; };
    EXPECT_TRUE(refused(colour::GetColorProfileHeader(h, &header)));
    EXPECT_TRUE(refused(colour::SetColorProfileHeader(h, &header)));
    EXPECT_TRUE(refused(colour::GetColorProfileElement(h, kDesc, 0, &count, buffer, nullptr)));
    EXPECT_TRUE(refused(colour::SetColorProfileElementSize(h, kDesc, 4)));
    EXPECT_TRUE(refused(colour::SetColorProfileElement(h, kDesc, 0, &count, buffer)));
    EXPECT_TRUE(refused(colour::CloseColorProfile(h)));
  }
  EXPECT_EQ(FileBytes(path), original);
}

// Eight threads open, read and close the same profiles, and use handles that are closed or
// were never ours, for ten seconds: every good call succeeds, every other one is refused.
TEST_F(Service, ManyThreadsWithStaleAndForeignHandles) {
  HPROFILE stale = Open(path, PROFILE_READ);
  ASSERT_TRUE(colour::CloseColorProfile(stale));
  std::atomic<bool> stop{false};
  std::atomic<long> good{0}, bad{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      std::vector<HPROFILE> closed_here = {stale, HPROFILE(&stop), HPROFILE(uintptr_t(t + 1) << 20)};
      while (!stop) {
        PROFILE record = {PROFILE_FILENAME, const_cast<char*>(path.c_str()), DWORD(path.size() + 1)};
        HPROFILE h = colour::OpenColorProfileA(&record, PROFILE_READ, FILE_SHARE_READ, OPEN_EXISTING);
        PROFILEHEADER header;
        uint8_t bytes[16];
        DWORD count = sizeof bytes;
        if (h && colour::GetColorProfileHeader(h, &header) &&
            colour::GetColorProfileElement(h, kDesc, 0, &count, bytes, nullptr) &&
            header.phSize == original.size() && memcmp(bytes, "desc", 4) == 0 &&
            colour::CloseColorProfile(h))
          ++good;
        else
          ++bad;
        for (HPROFILE other : closed_here) {
          count = sizeof bytes;
          SetLastError(0);
          if (colour::GetColorProfileElement(other, kDesc, 0, &count, bytes, nullptr) ||
              GetLastError() != ERROR_INVALID_HANDLE || colour::CloseColorProfile(other))
            ++bad;
        }
        if (h) closed_here[0] = h;  // now a stale one of this thread's own
      }
    });
  Sleep(10000);
  stop = true;
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(bad, 0);
  EXPECT_GT(good, 80);
  EXPECT_TRUE(OpenExclusively(path));
}

// Names outside every code page: opened, changed and replaced by their UTF-16 names, with
// the file's attributes kept.
TEST_F(Service, WideNamesOpenAndSave) {
  const std::wstring name = std::wstring(folder.Path().begin(), folder.Path().end()) +
                            L"\\\u0395\u03bb\u0436\u4e2d\U0001F600.icc";
  ASSERT_TRUE(CopyFileW(std::wstring(path.begin(), path.end()).c_str(), name.c_str(), TRUE));
  ASSERT_TRUE(SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_HIDDEN));
  PROFILE record = {PROFILE_FILENAME, const_cast<wchar_t*>(name.c_str()),
                    DWORD((name.size() + 1) * sizeof(wchar_t))};
  HPROFILE h = colour::OpenColorProfileW(&record, PROFILE_READWRITE, 0, OPEN_EXISTING);
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(colour::SetColorProfileElementSize(h, kDesc, 8));
  EXPECT_TRUE(colour::CloseColorProfile(h));
  EXPECT_TRUE(GetFileAttributesW(name.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  h = colour::OpenColorProfileW(&record, PROFILE_READ, 0, OPEN_EXISTING);
  DWORD size = 0;
  EXPECT_FALSE(colour::GetColorProfileElement(h, kDesc, 0, &size, nullptr, nullptr));
  EXPECT_EQ(size, 8u);
  EXPECT_TRUE(colour::CloseColorProfile(h));

  record.cbDataSize -= sizeof(wchar_t);  // the terminator lies outside
  SetLastError(0);
  EXPECT_EQ(colour::OpenColorProfileW(&record, PROFILE_READ, 0, OPEN_EXISTING), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(folder.Names().size(), 2u);  // no temporary file left
  SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(name.c_str());
}

TEST(ColorDirectory, SystemFolderPathWithItsSize) {
  char system[MAX_PATH];
  const UINT length = GetSystemDirectoryA(system, MAX_PATH);
  ASSERT_GT(length, 0u);
  const std::string expected = std::string(system, length) + "\\spool\\drivers\\color";
  const DWORD needed = DWORD(expected.size() + 1);

  char buffer[MAX_PATH];
  DWORD size = MAX_PATH;
  ASSERT_TRUE(colour::GetColorDirectoryA(nullptr, buffer, &size));
  EXPECT_EQ(std::string(buffer), expected);
  EXPECT_EQ(size, needed);

  // Too small by one, or no buffer at all: the size needed, terminator included.
  for (char* b : {buffer, static_cast<char*>(nullptr)}) {
    std::fill(buffer, buffer + MAX_PATH, '#');
    size = needed - 1;
    SetLastError(0);
    EXPECT_FALSE(colour::GetColorDirectoryA(nullptr, b, &size));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, needed);
    EXPECT_EQ(buffer[0], '#');
  }
  size = needed;
  ASSERT_TRUE(colour::GetColorDirectoryA(nullptr, buffer, &size));
  EXPECT_EQ(std::string(buffer), expected);

  EXPECT_FALSE(colour::GetColorDirectoryA(nullptr, buffer, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  size = MAX_PATH;
  EXPECT_FALSE(colour::GetColorDirectoryA("\\\\elsewhere", buffer, &size));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  // The wide form counts bytes too.
  wchar_t wide[MAX_PATH];
  size = sizeof wide;
  ASSERT_TRUE(colour::GetColorDirectoryW(nullptr, wide, &size));
  EXPECT_EQ(std::wstring(wide), std::wstring(expected.begin(), expected.end()));
  EXPECT_EQ(size, needed * sizeof(wchar_t));
}

}  // namespace
