// Files and directories as every adapter of the port must show them: Windows path rules, sharing,
// attributes, DOS times, short names, temporary files and delayed replacement.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "support/port_fixture.h"

namespace tmby::testing {
namespace {

using platform::FileAccess;
using platform::FileDisposition;
using platform::kShareAll;
using platform::kShareDelete;
using platform::kShareNone;
using platform::kShareRead;
using platform::kShareWrite;
using platform::SeekOrigin;
namespace attr = platform::attr;
namespace err = platform::err;

using FilesContract = PortContract;
TMBY_PORT_CONTRACT(FilesContract);

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
  return text;
}

std::string LastComponent(const std::string& path) { return path.substr(path.rfind('\\') + 1); }

bool Is83(const std::string& name) {
  const size_t dot = name.find('.');
  const std::string base = name.substr(0, dot);
  const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  return !base.empty() && base.size() <= 8 && ext.size() <= 3 &&
         ext.find('.') == std::string::npos && name.find(' ') == std::string::npos;
}

std::set<std::string> Names(const std::vector<platform::FindData>& found) {
  std::set<std::string> names;
  for (const auto& f : found) names.insert(f.name);
  return names;
}

TEST_P(FilesContract, ReadsWritesAndSeeks) {
  auto f =
      Files().Open(P("data.bin"), FileAccess::ReadWrite, kShareNone, FileDisposition::CreateNew);
  ASSERT_TRUE(f) << Files().LastError();
  ASSERT_TRUE(f->Write("hello world", 11));
  EXPECT_EQ(f->Size(), 11);
  int64_t position = -1;
  ASSERT_TRUE(f->Seek(6, SeekOrigin::Begin, &position));
  EXPECT_EQ(position, 6);
  char buffer[32] = {};
  size_t done = 0;
  ASSERT_TRUE(f->Read(buffer, sizeof buffer, &done));
  EXPECT_EQ(std::string(buffer, done), "world");
  ASSERT_TRUE(f->Read(buffer, sizeof buffer, &done));
  EXPECT_EQ(done, 0u);  // the end of the file is no error
  ASSERT_TRUE(f->Seek(-5, SeekOrigin::End, &position));
  EXPECT_EQ(position, 6);
  ASSERT_TRUE(f->Seek(-2, SeekOrigin::Current, &position));
  EXPECT_EQ(position, 4);
  EXPECT_FALSE(f->Seek(-100, SeekOrigin::Begin));
  EXPECT_EQ(f->LastError(), err::kNegativeSeek);

  // Writing past the end leaves zeros in the gap; SetEnd cuts or extends at the position.
  ASSERT_TRUE(f->Seek(13, SeekOrigin::Begin));
  ASSERT_TRUE(f->Write("!", 1));
  EXPECT_EQ(f->Size(), 14);
  ASSERT_TRUE(f->Seek(3, SeekOrigin::Begin));
  ASSERT_TRUE(f->SetEnd());
  EXPECT_EQ(f->Size(), 3);
  ASSERT_TRUE(f->Seek(8, SeekOrigin::Begin));
  ASSERT_TRUE(f->SetEnd());
  EXPECT_EQ(f->Size(), 8);
  EXPECT_TRUE(f->Flush());
  f.reset();
  EXPECT_EQ(ReadText(P("data.bin")), std::string("hel\0\0\0\0\0", 8));

  WriteText(P("gap.bin"), "");
  f = Files().Open(P("gap.bin"), FileAccess::Write, kShareNone, FileDisposition::OpenExisting);
  ASSERT_TRUE(f);
  ASSERT_TRUE(f->Seek(3, SeekOrigin::Begin));
  ASSERT_TRUE(f->Write("x", 1));
  f.reset();
  EXPECT_EQ(ReadText(P("gap.bin")), std::string("\0\0\0x", 4));
  EXPECT_EQ(Files().FileSize(P("gap.bin")), 4);
}

TEST_P(FilesContract, HandlesOnlyDoWhatTheirAccessAllows) {
  WriteText(P("f.txt"), "content");
  auto reader =
      Files().Open(P("f.txt"), FileAccess::Read, kShareAll, FileDisposition::OpenExisting);
  ASSERT_TRUE(reader);
  EXPECT_FALSE(reader->Write("x", 1));
  EXPECT_EQ(reader->LastError(), err::kAccessDenied);
  auto writer =
      Files().Open(P("f.txt"), FileAccess::Write, kShareAll, FileDisposition::OpenExisting);
  ASSERT_TRUE(writer);
  char c = 0;
  size_t done = 0;
  EXPECT_FALSE(writer->Read(&c, 1, &done));
  EXPECT_EQ(writer->LastError(), err::kAccessDenied);
  EXPECT_EQ(done, 0u);
}

TEST_P(FilesContract, DispositionsFollowWindows) {
  WriteText(P("there.txt"), "old text");
  EXPECT_FALSE(
      Files().Open(P("there.txt"), FileAccess::Write, kShareNone, FileDisposition::CreateNew));
  EXPECT_EQ(Files().LastError(), err::kFileExists);
  EXPECT_FALSE(
      Files().Open(P("absent.txt"), FileAccess::Read, kShareAll, FileDisposition::OpenExisting));
  EXPECT_EQ(Files().LastError(), err::kFileNotFound);
  EXPECT_FALSE(Files().Open(P("absent.txt"), FileAccess::Write, kShareAll,
                            FileDisposition::TruncateExisting));
  EXPECT_EQ(Files().LastError(), err::kFileNotFound);
  EXPECT_FALSE(Files().Open(P("no\\such\\dir.txt"), FileAccess::Write, kShareNone,
                            FileDisposition::CreateAlways));
  EXPECT_EQ(Files().LastError(), err::kPathNotFound);
  EXPECT_FALSE(Files().FileExists(P("no")));

  {
    auto keep = Files().Open(P("there.txt"), FileAccess::ReadWrite, kShareNone,
                             FileDisposition::OpenAlways);
    ASSERT_TRUE(keep);
  }
  EXPECT_EQ(ReadText(P("there.txt")), "old text");
  {
    auto made =
        Files().Open(P("made.txt"), FileAccess::Write, kShareNone, FileDisposition::OpenAlways);
    ASSERT_TRUE(made);
  }
  EXPECT_TRUE(Files().FileExists(P("made.txt")));
  {
    auto cut = Files().Open(P("there.txt"), FileAccess::Write, kShareNone,
                            FileDisposition::TruncateExisting);
    ASSERT_TRUE(cut);
  }
  EXPECT_EQ(Files().FileSize(P("there.txt")), 0);
  WriteText(P("there.txt"), "new");
  EXPECT_EQ(ReadText(P("there.txt")), "new");

  // A directory is no file.
  ASSERT_TRUE(Files().CreateDirectories(P("folder")));
  EXPECT_FALSE(
      Files().Open(P("folder"), FileAccess::Read, kShareAll, FileDisposition::OpenExisting));
  EXPECT_EQ(Files().LastError(), err::kAccessDenied);
  EXPECT_FALSE(Files().FileExists(P("folder")));
  EXPECT_TRUE(Files().DirectoryExists(P("folder")));
  EXPECT_FALSE(Files().DirectoryExists(P("there.txt")));
  EXPECT_FALSE(Files().FileSize(P("folder")));
}

TEST_P(FilesContract, PathsIgnoreCaseAndTakeEitherSlash) {
  ASSERT_TRUE(Files().CreateDirectories(P("Dir")));
  WriteText(P("Dir\\File.TXT"), "first");
  EXPECT_TRUE(Files().FileExists(P("dIR\\fILE.txt")));
  EXPECT_EQ(ReadText(Root() + "/DIR/file.txt"), "first");
  EXPECT_TRUE(Files().DirectoryExists(Upper(P("dir"))));
  WriteText(P("DIR\\FILE.TXT"), "second");  // replaces; the stored name keeps its case
  const auto found = Files().FindFiles(P("dir\\*"));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, "File.TXT");
  EXPECT_EQ(ReadText(P("Dir\\File.TXT")), "second");

  // Letters beyond ASCII compare without case too.
  WriteText(P("Gr\xC3\xBC\xC3\x9F"
              "e.txt"),
            "umlaut");  // "Grüße.txt"
  EXPECT_EQ(ReadText(P("GR\xC3\x9C\xC3\x9F"
                       "E.TXT")),
            "umlaut");  // "GRÜßE.TXT"
  EXPECT_EQ(Names(Files().FindFiles(P("gr*"))), std::set<std::string>{"Gr\xC3\xBC\xC3\x9F"
                                                                      "e.txt"});
}

TEST_P(FilesContract, SharingModesDecideWhoMayOpen) {
  WriteText(P("shared.txt"), "x");
  const auto open = [&](FileAccess access, uint32_t share) {
    return Files().Open(P("shared.txt"), access, share, FileDisposition::OpenExisting);
  };
  {
    auto first = open(FileAccess::Read, kShareRead);
    ASSERT_TRUE(first);
    EXPECT_TRUE(open(FileAccess::Read, kShareRead | kShareWrite));
    // The first handle does not share writing.
    EXPECT_FALSE(open(FileAccess::Write, kShareAll));
    EXPECT_EQ(Files().LastError(), err::kSharingViolation);
    // The second would not share the reading the first one does.
    EXPECT_FALSE(open(FileAccess::Read, kShareWrite));
    EXPECT_EQ(Files().LastError(), err::kSharingViolation);
  }
  {
    auto writer = open(FileAccess::ReadWrite, kShareRead | kShareWrite);
    ASSERT_TRUE(writer);
    EXPECT_TRUE(open(FileAccess::Read, kShareRead | kShareWrite));
    EXPECT_FALSE(open(FileAccess::Read, kShareRead));  // must share the writer's writing
    EXPECT_EQ(Files().LastError(), err::kSharingViolation);
  }
  {
    auto exclusive = open(FileAccess::Read, kShareNone);
    ASSERT_TRUE(exclusive);
    EXPECT_FALSE(open(FileAccess::Read, kShareAll));
    EXPECT_EQ(Files().LastError(), err::kSharingViolation);
    EXPECT_FALSE(Files().CopyFileTo(P("shared.txt"), P("copy.txt"), false));
  }
  // Closed handles hold nothing.
  EXPECT_TRUE(open(FileAccess::ReadWrite, kShareNone));
}

TEST_P(FilesContract, AFileInUseCannotBeDeletedOrRenamed) {
  WriteText(P("inuse.dll"), "loaded");
  {
    auto held =
        Files().Open(P("inuse.dll"), FileAccess::Read, kShareRead, FileDisposition::OpenExisting);
    ASSERT_TRUE(held);
    EXPECT_FALSE(Files().RemoveFile(P("inuse.dll")));
    EXPECT_EQ(Files().LastError(), err::kSharingViolation);
    EXPECT_FALSE(Files().RenameFile(P("inuse.dll"), P("moved.dll")));
    EXPECT_EQ(Files().LastError(), err::kSharingViolation);
    // Replacing it by a copy fails too; reading it does not.
    WriteText(P("fresh.dll"), "fresh");
    EXPECT_FALSE(Files().CopyFileTo(P("fresh.dll"), P("inuse.dll"), false));
    EXPECT_EQ(Files().LastError(), err::kSharingViolation);
    EXPECT_EQ(ReadText(P("inuse.dll")), "loaded");
    EXPECT_FALSE(Files().FileExists(P("moved.dll")));
  }
  EXPECT_TRUE(Files().RenameFile(P("inuse.dll"), P("moved.dll")));
  EXPECT_TRUE(Files().RemoveFile(P("moved.dll")));
  EXPECT_FALSE(Files().FileExists(P("moved.dll")));
  EXPECT_FALSE(Files().RemoveFile(P("moved.dll")));
  EXPECT_EQ(Files().LastError(), err::kFileNotFound);
}

TEST_P(FilesContract, DeleteSharingLetsAnOpenFileBeRenamed) {
  if (NineX()) GTEST_SKIP() << "Windows 9x has no delete sharing";
#ifdef _WIN32
  if (Simulated()) GTEST_SKIP() << "the C runtime of a Windows host opens without delete sharing";
#endif
  WriteText(P("open.log"), "line");
  auto held =
      Files().Open(P("open.log"), FileAccess::Read, kShareAll, FileDisposition::OpenExisting);
  ASSERT_TRUE(held);
  EXPECT_TRUE(Files().RenameFile(P("open.log"), P("renamed.log")));
  EXPECT_TRUE(Files().FileExists(P("renamed.log")));
  EXPECT_FALSE(Files().FileExists(P("open.log")));
  char buffer[8];
  size_t done = 0;
  EXPECT_TRUE(held->Read(buffer, sizeof buffer, &done));
  EXPECT_EQ(std::string(buffer, done), "line");
}

TEST_P(FilesContract, DosTimesAreLocalAndCutToTwoSeconds) {
  WriteText(P("stamp.txt"), "x");
  ASSERT_TRUE(UnderTest().SetRawWriteTime(P("stamp.txt"), CivilTime{2003, 6, 15, 10, 20, 31, 900}));
  const uint32_t expected = *EncodeDosDateTime(CivilTime{2003, 6, 15, 10, 20, 30, 0});
  EXPECT_EQ(Files().GetDosTime(P("stamp.txt")), expected);
  {
    auto f =
        Files().Open(P("stamp.txt"), FileAccess::Read, kShareAll, FileDisposition::OpenExisting);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->GetDosTime(), expected);
  }
  const auto found = Files().FindFiles(P("stamp.txt"));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].dos_time, expected);
  EXPECT_EQ(Files().GetDayCount(P("stamp.txt")), DosDateTimeToDayCount(expected));

  // Set through the port, by path and by handle, and read back unchanged.
  const uint32_t set = *EncodeDosDateTime(CivilTime{2001, 2, 3, 4, 5, 6, 0});
  ASSERT_TRUE(Files().SetDosTime(P("stamp.txt"), set));
  EXPECT_EQ(Files().GetDosTime(P("stamp.txt")), set);
  const uint32_t winter = *EncodeDosDateTime(CivilTime{1999, 12, 31, 23, 59, 58, 0});
  {
    auto f =
        Files().Open(P("stamp.txt"), FileAccess::Write, kShareNone, FileDisposition::OpenExisting);
    ASSERT_TRUE(f);
    ASSERT_TRUE(f->SetDosTime(winter));
    EXPECT_EQ(f->GetDosTime(), winter);
  }
  EXPECT_EQ(Files().GetDosTime(P("stamp.txt")), winter);
  // Setting the time works on a read-only file and needs no write sharing.
  ASSERT_TRUE(Files().SetAttributes(P("stamp.txt"), attr::kReadOnly));
  EXPECT_TRUE(Files().SetDosTime(P("stamp.txt"), set));
  EXPECT_EQ(Files().GetDosTime(P("stamp.txt")), set);
  EXPECT_FALSE(Files().SetDosTime(P("stamp.txt"), 0));  // no valid DOS date
  EXPECT_FALSE(Files().GetDosTime(P("missing.txt")));
}

TEST_P(FilesContract, ReadOnlyFilesCannotBeWrittenOrDeleted) {
  WriteText(P("ro.txt"), "keep");
  EXPECT_TRUE((*Files().GetAttributes(P("ro.txt")) & attr::kDirectory) == 0);
  ASSERT_TRUE(Files().SetAttributes(P("ro.txt"), attr::kReadOnly));
  EXPECT_TRUE(*Files().GetAttributes(P("ro.txt")) & attr::kReadOnly);
  if (UnderTest().EnforcesReadOnly()) {
    EXPECT_FALSE(
        Files().Open(P("ro.txt"), FileAccess::Write, kShareAll, FileDisposition::OpenExisting));
    EXPECT_EQ(Files().LastError(), err::kAccessDenied);
    EXPECT_FALSE(
        Files().Open(P("ro.txt"), FileAccess::Write, kShareNone, FileDisposition::CreateAlways));
    EXPECT_EQ(Files().LastError(), err::kAccessDenied);
  }
  EXPECT_FALSE(Files().RemoveFile(P("ro.txt")));
  EXPECT_EQ(Files().LastError(), err::kAccessDenied);
  EXPECT_EQ(ReadText(P("ro.txt")), "keep");
  ASSERT_TRUE(Files().SetAttributes(P("ro.txt"), attr::kNormal));
  EXPECT_EQ(*Files().GetAttributes(P("ro.txt")) & attr::kReadOnly, 0u);
  EXPECT_TRUE(Files().RemoveFile(P("ro.txt")));

  ASSERT_TRUE(Files().CreateDirectories(P("d")));
  EXPECT_TRUE(*Files().GetAttributes(P("d")) & attr::kDirectory);
  EXPECT_FALSE(Files().GetAttributes(P("none")));
  EXPECT_EQ(Files().LastError(), err::kFileNotFound);
  EXPECT_FALSE(Files().SetAttributes(P("none"), attr::kNormal));
}

TEST_P(FilesContract, CreateDirectoriesMakesEveryParent) {
  ASSERT_TRUE(Files().CreateDirectories(P("a\\b\\c\\d")));
  EXPECT_TRUE(Files().DirectoryExists(P("a\\b\\c\\d")));
  EXPECT_TRUE(Files().CreateDirectories(P("a\\b")));  // existing: fine
  EXPECT_TRUE(Files().CreateDirectories(P("a\\b\\c\\d\\")));
  WriteText(P("a\\file"), "x");
  EXPECT_FALSE(Files().CreateDirectories(P("a\\file\\sub")));
  EXPECT_FALSE(Files().DirectoryExists(P("a\\file\\sub")));

  EXPECT_FALSE(Files().RemoveDir(P("a\\b")));
  EXPECT_EQ(Files().LastError(), err::kDirNotEmpty);
  EXPECT_TRUE(Files().RemoveDir(P("a\\b\\c\\d")));
  EXPECT_FALSE(Files().DirectoryExists(P("a\\b\\c\\d")));
  EXPECT_FALSE(Files().RemoveDir(P("a\\b\\c\\d")));
  EXPECT_FALSE(Files().RemoveDir(P("a\\file")));
  EXPECT_TRUE(Files().FileExists(P("a\\file")));
}

TEST_P(FilesContract, FindFilesMatchesWildcards) {
  WriteText(P("a.dll"), "1");
  WriteText(P("b.DLL"), "22");
  WriteText(P("c.txt"), "333");
  WriteText(P("abc.txt"), "4444");
  WriteText(P("noext"), "");
  ASSERT_TRUE(Files().CreateDirectories(P("sub")));

  EXPECT_EQ(Names(Files().FindFiles(P("*.dll"))), (std::set<std::string>{"a.dll", "b.DLL"}));
  EXPECT_EQ(Names(Files().FindFiles(P("a?c.txt"))), std::set<std::string>{"abc.txt"});
  EXPECT_EQ(Names(Files().FindFiles(P("?.*"))), (std::set<std::string>{"a.dll", "b.DLL", "c.txt"}));
  const auto all = Files().FindFiles(P("*"));
  EXPECT_EQ(Names(all),
            (std::set<std::string>{"a.dll", "b.DLL", "c.txt", "abc.txt", "noext", "sub"}));
  EXPECT_EQ(Names(Files().FindFiles(P("*.*"))), Names(all));
  for (const auto& f : all) {
    if (f.name == "sub") {
      EXPECT_TRUE(f.attributes & attr::kDirectory);
    } else {
      EXPECT_FALSE(f.attributes & attr::kDirectory) << f.name;
    }
    if (f.name == "abc.txt") {
      EXPECT_EQ(f.size, 4);
    }
  }
  EXPECT_TRUE(Files().FindFiles(P("*.none")).empty());
  EXPECT_TRUE(Files().FindFiles(P("sub\\")).empty());
  EXPECT_EQ(Names(Files().FindFiles(P("sub"))), std::set<std::string>{"sub"});
  EXPECT_TRUE(Files().FindFiles(P("missing\\*")).empty());
}

TEST_P(FilesContract, ShortNamesAre83AndLeadToTheSameFile) {
  ASSERT_TRUE(Files().CreateDirectories(P("Long Folder Name")));
  const std::string long_path = P("Long Folder Name\\Long File Name.text");
  WriteText(long_path, "long");
  WriteText(P("SHORT.TXT"), "short");

  const auto short_path = Files().ShortPathName(long_path);
  ASSERT_TRUE(short_path) << Files().LastError();
  const std::string file = LastComponent(*short_path);
  EXPECT_TRUE(Is83(file)) << *short_path;
  const std::string folder = LastComponent(short_path->substr(0, short_path->rfind('\\')));
  EXPECT_TRUE(Is83(folder)) << *short_path;
  EXPECT_TRUE(Files().FileExists(*short_path));
  EXPECT_EQ(ReadText(*short_path), "long");

  const auto found = Files().FindFiles(P("Long Folder Name\\*.text"));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(Upper(found[0].short_name), Upper(file));

  // A name that is 8.3 already is its own short name.
  const auto same = Files().ShortPathName(P("SHORT.TXT"));
  ASSERT_TRUE(same);
  EXPECT_EQ(Upper(LastComponent(*same)), "SHORT.TXT");
  EXPECT_FALSE(Files().ShortPathName(P("missing.txt")));
}

TEST_P(FilesContract, TemporaryNamesAreUnique) {
  const auto temp = Files().TempPath();
  ASSERT_TRUE(temp);
  EXPECT_EQ(temp->back(), '\\');
  EXPECT_TRUE(Files().DirectoryExists(*temp));

  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    const auto name = Files().CreateTempFile(Root(), "bat");
    ASSERT_TRUE(name) << Files().LastError();
    EXPECT_TRUE(Files().FileExists(*name)) << *name;
    EXPECT_EQ(Files().FileSize(*name), 0);
    const std::string file = Upper(LastComponent(*name));
    EXPECT_EQ(file.substr(0, 3), "BAT") << *name;
    EXPECT_EQ(file.substr(file.size() - 4), ".TMP") << *name;
    EXPECT_EQ(Upper(name->substr(0, Root().size())), Upper(Root()));
    names.insert(Upper(*name));
  }
  EXPECT_EQ(names.size(), 50u);
  EXPECT_FALSE(Files().CreateTempFile(P("missing"), "bat"));
}

TEST_P(FilesContract, DelayedReplacementIsRecorded) {
  WriteText(P("target.dll"), "old");
  WriteText(P("target.new"), "new");
  WriteText(P("leftover.tmp"), "x");
  if (UnderTest().NineXApi()) {
    // Windows 9x has no MoveFileEx; the kit replaces files through WININIT.INI there.
    EXPECT_FALSE(Files().MoveFileAtReboot(P("target.new"), P("target.dll")));
    EXPECT_EQ(Files().LastError(), err::kCallNotImplemented);
    EXPECT_TRUE(UnderTest().PendingReplacements(Root()).empty());
    return;
  }
  ASSERT_TRUE(Files().MoveFileAtReboot(P("target.new"), P("target.dll"))) << Files().LastError();
  ASSERT_TRUE(Files().MoveFileAtReboot(P("leftover.tmp"), "")) << Files().LastError();
  const auto pending = UnderTest().PendingReplacements(Root());
  ASSERT_EQ(pending.size(), 2u);
  EXPECT_EQ(Upper(pending[0].first), Upper(P("target.new")));
  EXPECT_EQ(Upper(pending[0].second), Upper(P("target.dll")));
  EXPECT_EQ(Upper(pending[1].first), Upper(P("leftover.tmp")));
  EXPECT_EQ(pending[1].second, "");
  // Nothing moves before the restart.
  EXPECT_EQ(ReadText(P("target.dll")), "old");
  EXPECT_TRUE(Files().FileExists(P("target.new")));
}

TEST_P(FilesContract, CopiesAndRenames) {
  WriteText(P("src.txt"), "payload");
  const uint32_t stamp = *EncodeDosDateTime(CivilTime{2002, 7, 15, 13, 45, 30, 0});
  ASSERT_TRUE(Files().SetDosTime(P("src.txt"), stamp));
  ASSERT_TRUE(Files().CopyFileTo(P("src.txt"), P("copy.txt"), true));
  EXPECT_EQ(ReadText(P("copy.txt")), "payload");
  EXPECT_EQ(Files().GetDosTime(P("copy.txt")), stamp);  // a copy keeps the write time
  EXPECT_FALSE(Files().CopyFileTo(P("src.txt"), P("copy.txt"), true));
  EXPECT_EQ(Files().LastError(), err::kFileExists);
  WriteText(P("src.txt"), "changed");
  EXPECT_TRUE(Files().CopyFileTo(P("src.txt"), P("copy.txt"), false));
  EXPECT_EQ(ReadText(P("copy.txt")), "changed");
  EXPECT_FALSE(Files().CopyFileTo(P("absent.txt"), P("x.txt"), false));
  EXPECT_EQ(Files().LastError(), err::kFileNotFound);

  EXPECT_FALSE(Files().RenameFile(P("src.txt"), P("copy.txt")));
  EXPECT_EQ(Files().LastError(), err::kAlreadyExists);
  ASSERT_TRUE(Files().RenameFile(P("src.txt"), P("renamed.txt")));
  EXPECT_FALSE(Files().FileExists(P("src.txt")));
  EXPECT_EQ(ReadText(P("renamed.txt")), "changed");

  ASSERT_TRUE(Files().CreateDirectories(P("dir\\inner")));
  WriteText(P("dir\\inner\\f.txt"), "deep");
  ASSERT_TRUE(Files().RenameFile(P("dir"), P("moved")));
  EXPECT_EQ(ReadText(P("moved\\inner\\f.txt")), "deep");
  EXPECT_FALSE(Files().DirectoryExists(P("dir")));
}

TEST_P(FilesContract, CurrentDirectoryAnchorsRelativePaths) {
  const std::string before = Files().CurrentDir();
  ASSERT_TRUE(Files().SetCurrentDir(Root()));
  EXPECT_EQ(Upper(Files().CurrentDir()), Upper(Root()));
  WriteText("relative.txt", "here");
  EXPECT_EQ(ReadText(P("relative.txt")), "here");
  EXPECT_EQ(Upper(*Files().FullPathName("sub\\..\\x.txt")), Upper(P("x.txt")));
  EXPECT_EQ(Upper(*Files().FullPathName(Root() + "/a/./b")), Upper(P("a\\b")));
  EXPECT_FALSE(Files().SetCurrentDir(P("missing")));
  EXPECT_EQ(Upper(Files().CurrentDir()), Upper(Root()));
  // A folder that is the current directory cannot be removed.
  ASSERT_TRUE(Files().CreateDirectories(P("cwd")));
  ASSERT_TRUE(Files().SetCurrentDir(P("cwd")));
  EXPECT_FALSE(Files().RemoveDir(P("cwd")));
  ASSERT_TRUE(Files().SetCurrentDir(before));
  EXPECT_TRUE(Files().RemoveDir(P("cwd")));
}

TEST_P(FilesContract, FreeSpaceIsReported) {
  const auto space = Files().FreeSpace(Root());
  ASSERT_TRUE(space) << Files().LastError();
  EXPECT_GT(space->free_bytes, 0u);
  EXPECT_GE(space->total_bytes, space->free_bytes);
  const auto file_space = Files().FreeSpace(P("not-yet-there.txt"));
  ASSERT_TRUE(file_space);
  EXPECT_EQ(file_space->total_bytes, space->total_bytes);
  EXPECT_FALSE(Files().ModuleFileName().empty());
}

}  // namespace
}  // namespace tmby::testing
