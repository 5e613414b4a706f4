// The simulated volumes: FAT-style names on host directories, open and create
// rules, info records and the file faults.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/platform.h"
#include "sim/machine.h"
#include "tests/test_support.h"

namespace {

using testing_support::TempDir;

class SimVolumes : public ::testing::Test {
 protected:
  void BootWith(sim::Faults faults = {}) {
    sim::MachineConfig config;
    config.Volumes = {disk.Path(), second.Path()};
    config.Fault = faults;
    sim::Boot(config);
  }
  FsFile* Root(size_t index = 0) {
    size_t count = 0;
    FsHandle* handles = nullptr;
    EXPECT_EQ(FsLocateVolumeHandles(&count, &handles), kEfiSuccess);
    FsVolume* volume = nullptr;
    EXPECT_EQ(FsHandleVolume(handles[index], &volume), kEfiSuccess);
    PoolFree(handles);
    FsFile* root = nullptr;
    EXPECT_EQ(FsOpenVolume(volume, &root), kEfiSuccess);
    return root;
  }
  static uint64_t SizeOf(FsFile* file) {
    alignas(8) uint8_t buffer[512];
    size_t size = sizeof(buffer);
    EXPECT_EQ(FsGetInfo(file, &size, buffer), kEfiSuccess);
    FileInfo info;
    std::memcpy(&info, buffer, kFileInfoFixedSize);
    return info.FileSize;
  }
  static std::string ReadAll(FsFile* file) {
    char buffer[256];
    size_t size = sizeof(buffer);
    EXPECT_EQ(FsRead(file, &size, buffer), kEfiSuccess);
    return std::string(buffer, size);
  }
  TempDir disk, second;
};

TEST_F(SimVolumes, VolumesComeInOrderAndTheFirstIsFs0) {
  disk.Write("A.TXT", "first");
  second.Write("A.TXT", "second");
  BootWith();
  FsVolume* first = nullptr;
  ASSERT_EQ(FsLocateFirstVolume(&first), kEfiSuccess);
  FsFile* root = nullptr;
  ASSERT_EQ(FsOpenVolume(first, &root), kEfiSuccess);
  FsFile* file = nullptr;
  ASSERT_EQ(FsOpen(root, &file, u"A.TXT", kFileModeRead, 0), kEfiSuccess);
  EXPECT_EQ(ReadAll(file), "first");
  (void)FsClose(file);
  (void)FsClose(root);
  root = Root(1);
  ASSERT_EQ(FsOpen(root, &file, u"a.txt", kFileModeRead, 0), kEfiSuccess);
  EXPECT_EQ(ReadAll(file), "second");
  (void)FsClose(file);
  (void)FsClose(root);
  EXPECT_TRUE(sim::TakeAudit().Clean());
}

TEST_F(SimVolumes, NamesAreFoundWithoutRegardToCase) {
  disk.Write("EFI/BOOT/X.NSH", "script");
  BootWith();
  FsFile* root = Root();
  const char16_t* const paths[] = {u"\\efi\\boot\\x.nsh", u"EFI\\Boot\\X.nsh", u"\\\\EFI\\\\BOOT\\x.NSH",
                                   u"efi\\.\\boot\\..\\boot\\x.nsh"};
  for (size_t i = 0; i < sizeof(paths) / sizeof(paths[0]); ++i) {
    FsFile* file = nullptr;
    ASSERT_EQ(FsOpen(root, &file, paths[i], kFileModeRead, 0), kEfiSuccess) << "path " << i;
    EXPECT_EQ(ReadAll(file), "script");
    (void)FsClose(file);
  }
  (void)FsClose(root);
}

TEST_F(SimVolumes, CreateKeepsTheCaseItWasGivenAndNeverTruncates) {
  disk.MakeDir("EFI/BOOT");
  disk.Write("EFI/BOOT/OLD.TXT", "0123456789");
  BootWith();
  FsFile* root = Root();
  FsFile* file = nullptr;
  ASSERT_EQ(FsOpen(root, &file, u"\\efi\\boot\\StartUp.NSH", kFileModeReadWriteCreate, 0), kEfiSuccess);
  size_t size = 3;
  ASSERT_EQ(FsWrite(file, &size, "abc"), kEfiSuccess);
  (void)FsClose(file);
  EXPECT_EQ(disk.Read("EFI/BOOT/StartUp.NSH"), "abc");

  ASSERT_EQ(FsOpen(root, &file, u"\\EFI\\BOOT\\old.txt", kFileModeReadWriteCreate, 0), kEfiSuccess);
  size = 2;
  ASSERT_EQ(FsWrite(file, &size, "AB"), kEfiSuccess);
  (void)FsClose(file);
  EXPECT_EQ(disk.Read("EFI/BOOT/OLD.TXT"), "AB23456789");
  EXPECT_FALSE(disk.Exists("EFI/BOOT/old.txt"));
  (void)FsClose(root);
}

TEST_F(SimVolumes, MissingFoldersAreNeverCreated) {
  BootWith();
  FsFile* root = Root();
  FsFile* file = nullptr;
  EXPECT_EQ(FsOpen(root, &file, u"\\EFI\\BOOT\\StartUp.NSH", kFileModeReadWriteCreate, 0), kEfiNotFound);
  EXPECT_EQ(FsOpen(root, &file, u"NOPE.BIN", kFileModeRead, 0), kEfiNotFound);
  EXPECT_FALSE(disk.Exists("EFI"));
  (void)FsClose(root);
  EXPECT_TRUE(sim::TakeAudit().Clean());
}

TEST_F(SimVolumes, OnlyTheThreeOpenModesAreAccepted) {
  disk.Write("F.BIN", "x");
  BootWith();
  FsFile* root = Root();
  FsFile* file = nullptr;
  EXPECT_EQ(FsOpen(root, &file, u"F.BIN", kFileModeWrite, 0), kEfiInvalidParameter);
  EXPECT_EQ(FsOpen(root, &file, u"F.BIN", kFileModeCreate | kFileModeRead, 0), kEfiInvalidParameter);
  ASSERT_EQ(FsOpen(root, &file, u"F.BIN", kFileModeRead, 0), kEfiSuccess);
  size_t size = 1;
  EXPECT_EQ(FsWrite(file, &size, "y"), kEfiAccessDenied);
  EXPECT_EQ(FsSetFileSize(file, 0), kEfiAccessDenied);
  (void)FsClose(file);
  (void)FsClose(root);
}

TEST_F(SimVolumes, DeleteClosesTheHandle) {
  disk.Write("GONE.TXT", "x");
  disk.Write("KEPT.TXT", "x");
  BootWith();
  FsFile* root = Root();
  FsFile* file = nullptr;
  ASSERT_EQ(FsOpen(root, &file, u"gone.txt", kFileModeReadWrite, 0), kEfiSuccess);
  EXPECT_EQ(FsDelete(file), kEfiSuccess);
  EXPECT_FALSE(disk.Exists("GONE.TXT"));
  // A file opened for reading only stays; the handle is closed all the same.
  ASSERT_EQ(FsOpen(root, &file, u"KEPT.TXT", kFileModeRead, 0), kEfiSuccess);
  EXPECT_EQ(FsDelete(file), kEfiWarnDeleteFailure);
  EXPECT_TRUE(disk.Exists("KEPT.TXT"));
  (void)FsClose(root);
  sim::Audit audit = sim::TakeAudit();
  EXPECT_EQ(audit.OpenFiles, 0u);
  EXPECT_EQ(audit.Misuse, 0u);
}

TEST_F(SimVolumes, DirectoriesOpenForReadAndSayTheyAreDirectories) {
  disk.MakeDir("EC");
  disk.Write("EC/B.BIN", "12");
  disk.Write("EC/A.BIN", "1");
  BootWith();
  FsFile* root = Root();
  FsFile* dir = nullptr;
  ASSERT_EQ(FsOpen(root, &dir, u"ec", kFileModeRead, 0), kEfiSuccess);
  alignas(8) uint8_t buffer[256];
  size_t size = sizeof(buffer);
  ASSERT_EQ(FsGetInfo(dir, &size, buffer), kEfiSuccess);
  FileInfo info;
  std::memcpy(&info, buffer, kFileInfoFixedSize);
  EXPECT_EQ(info.Attribute & kFileAttributeDirectory, kFileAttributeDirectory);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(buffer + kFileInfoFixedSize)), u"EC");
  size = 1;
  EXPECT_EQ(FsWrite(dir, &size, "x"), kEfiUnsupported);
  // Reading a directory gives one info record per entry.
  std::vector<std::u16string> names;
  for (int i = 0; i < 10; ++i) {
    size = sizeof(buffer);
    ASSERT_EQ(FsRead(dir, &size, buffer), kEfiSuccess);
    if (size == 0) break;
    names.push_back(reinterpret_cast<const char16_t*>(buffer + kFileInfoFixedSize));
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u".", u"..", u"A.BIN", u"B.BIN"}));
  // Opening relative to the directory handle; from a file only absolute paths.
  FsFile* file = nullptr;
  ASSERT_EQ(FsOpen(dir, &file, u"b.bin", kFileModeRead, 0), kEfiSuccess);
  EXPECT_EQ(SizeOf(file), 2u);
  FsFile* other = nullptr;
  EXPECT_EQ(FsOpen(file, &other, u"A.BIN", kFileModeRead, 0), kEfiNotFound);
  ASSERT_EQ(FsOpen(file, &other, u"\\EC\\A.BIN", kFileModeRead, 0), kEfiSuccess);
  EXPECT_EQ(SizeOf(other), 1u);
  (void)FsClose(other);
  (void)FsClose(file);
  (void)FsClose(dir);
  (void)FsClose(root);
}

TEST_F(SimVolumes, GetInfoAsksForTheRoomItNeeds) {
  disk.Write("ECROM.BIN", std::string(300, 'x'));
  BootWith();
  FsFile* root = Root();
  FsFile* file = nullptr;
  ASSERT_EQ(FsOpen(root, &file, u"ecrom.bin", kFileModeRead, 0), kEfiSuccess);
  size_t size = 0;
  EXPECT_EQ(FsGetInfo(file, &size, nullptr), kEfiBufferTooSmall);
  EXPECT_EQ(size, kFileInfoFixedSize + sizeof(u"ECROM.BIN"));
  std::vector<uint8_t> buffer(size);
  size_t small = size - 1;
  EXPECT_EQ(FsGetInfo(file, &small, buffer.data()), kEfiBufferTooSmall);
  EXPECT_EQ(small, size);
  EXPECT_EQ(SizeOf(file), 300u);
  (void)FsClose(file);
  (void)FsClose(root);
}

TEST_F(SimVolumes, ReadWritePositionAndFileSizeActOnTheHostFile) {
  disk.Write("D.BIN", "0123456789");
  BootWith();
  FsFile* root = Root();
  FsFile* file = nullptr;
  ASSERT_EQ(FsOpen(root, &file, u"D.BIN", kFileModeReadWrite, 0), kEfiSuccess);
  ASSERT_EQ(FsSetPosition(file, 4), kEfiSuccess);
  char buffer[4];
  size_t size = sizeof(buffer);
  ASSERT_EQ(FsRead(file, &size, buffer), kEfiSuccess);
  EXPECT_EQ(std::string(buffer, size), "4567");
  size = 2;
  ASSERT_EQ(FsWrite(file, &size, "ab"), kEfiSuccess);
  ASSERT_EQ(FsSetPosition(file, UINT64_MAX), kEfiSuccess);
  size = 1;
  ASSERT_EQ(FsWrite(file, &size, "!"), kEfiSuccess);
  EXPECT_EQ(disk.Read("D.BIN"), "01234567ab!");
  ASSERT_EQ(FsSetFileSize(file, 3), kEfiSuccess);
  EXPECT_EQ(disk.Read("D.BIN"), "012");
  ASSERT_EQ(FsSetPosition(file, 3), kEfiSuccess);
  size = sizeof(buffer);
  EXPECT_EQ(FsRead(file, &size, buffer), kEfiSuccess);
  EXPECT_EQ(size, 0u);
  ASSERT_EQ(FsSetPosition(file, 9), kEfiSuccess);
  size = sizeof(buffer);
  EXPECT_EQ(FsRead(file, &size, buffer), kEfiDeviceError);
  (void)FsClose(file);
  (void)FsClose(root);
}

TEST_F(SimVolumes, NoFileSystemAtAll) {
  sim::Faults faults;
  faults.NoFileSystem = true;
  BootWith(faults);
  FsVolume* volume = nullptr;
  EXPECT_EQ(FsLocateFirstVolume(&volume), kEfiNotFound);
  size_t count = 0;
  FsHandle* handles = nullptr;
  EXPECT_EQ(FsLocateVolumeHandles(&count, &handles), kEfiNotFound);
  EXPECT_TRUE(sim::TakeAudit().Clean());
}

TEST_F(SimVolumes, OpenFaultsHitTheirPathOrCall) {
  disk.Write("EC.BIN", "x");
  disk.Write("NEW.BIN", "x");
  sim::Faults faults;
  faults.OpenVolumeFails = {1};
  faults.OpenFails[u"\\ec.bin"] = kEfiMediaChanged;
  faults.CreateFailPath = u"counter.txt";
  faults.CreateFailCall = 2;
  BootWith(faults);
  size_t count = 0;
  FsHandle* handles = nullptr;
  ASSERT_EQ(FsLocateVolumeHandles(&count, &handles), kEfiSuccess);
  ASSERT_EQ(count, 2u);
  FsVolume* volume = nullptr;
  ASSERT_EQ(FsHandleVolume(handles[1], &volume), kEfiSuccess);
  PoolFree(handles);
  FsFile* root = nullptr;
  EXPECT_EQ(FsOpenVolume(volume, &root), kEfiDeviceError);
  root = Root(0);
  FsFile* file = nullptr;
  EXPECT_EQ(FsOpen(root, &file, u"\\EC.BIN", kFileModeRead, 0), kEfiMediaChanged);
  ASSERT_EQ(FsOpen(root, &file, u"EC.BIN", kFileModeRead, 0), kEfiSuccess);  // another spelling of the path
  (void)FsClose(file);
  EXPECT_EQ(FsOpen(root, &file, u"COUNTER.TXT", kFileModeReadWriteCreate, 0), kEfiAccessDenied);  // create #1
  EXPECT_EQ(FsOpen(root, &file, u"NEW.BIN", kFileModeReadWriteCreate, 0), kEfiAccessDenied);      // create #2
  ASSERT_EQ(FsOpen(root, &file, u"NEW.BIN", kFileModeReadWriteCreate, 0), kEfiSuccess);           // create #3
  (void)FsClose(file);
  (void)FsClose(root);
  EXPECT_FALSE(disk.Exists("COUNTER.TXT"));
}

TEST_F(SimVolumes, InfoFaultsReportWhatTheyAreTold) {
  disk.Write("BIG.BIN", "small");
  sim::Faults faults;
  faults.GetInfoFileSize = 0x100000000ull + 5;  // 4 GiB and more, never stored
  faults.GetInfoRecordSize = kFileInfoFixedSize + 2;
  faults.GetInfoFailCall = 3;
  BootWith(faults);
  FsFile* root = Root();
  FsFile* file = nullptr;
  ASSERT_EQ(FsOpen(root, &file, u"BIG.BIN", kFileModeRead, 0), kEfiSuccess);
  size_t size = 0;
  EXPECT_EQ(FsGetInfo(file, &size, nullptr), kEfiBufferTooSmall);  // call 1 gives the wrong size
  EXPECT_EQ(size, kFileInfoFixedSize + 2);
  std::vector<uint8_t> buffer(size);
  EXPECT_EQ(FsGetInfo(file, &size, buffer.data()), kEfiBufferTooSmall);  // call 2: the real one
  EXPECT_EQ(size, kFileInfoFixedSize + sizeof(u"BIG.BIN"));
  buffer.resize(size);
  EXPECT_EQ(FsGetInfo(file, &size, buffer.data()), kEfiDeviceError);  // call 3 fails
  EXPECT_EQ(FsGetInfo(file, &size, buffer.data()), kEfiSuccess);
  FileInfo info;
  std::memcpy(&info, buffer.data(), kFileInfoFixedSize);
  EXPECT_EQ(info.FileSize, 0x100000005ull);
  (void)FsClose(file);
  (void)FsClose(root);
}

TEST_F(SimVolumes, EveryGetInfoCanAnswerOneStatus) {
  disk.Write("A.BIN", "x");
  sim::Faults faults;
  faults.GetInfoStatus = kEfiVolumeCorrupted;
  BootWith(faults);
  FsFile* root = Root();
  size_t size = 0;
  EXPECT_EQ(FsGetInfo(root, &size, nullptr), kEfiVolumeCorrupted);
  (void)FsClose(root);
}

TEST_F(SimVolumes, ReadAndWriteFailOrComeShort) {
  disk.Write("R.BIN", "0123456789");
  sim::Faults faults;
  faults.ReadFailCall = 2;
  faults.ReadShortBytes = 4;
  faults.WriteFailCall = 1;
  faults.WriteShortBytes = 3;
  BootWith(faults);
  FsFile* root = Root();
  FsFile* file = nullptr;
  ASSERT_EQ(FsOpen(root, &file, u"R.BIN", kFileModeReadWrite, 0), kEfiSuccess);
  char buffer[10];
  size_t size = sizeof(buffer);
  EXPECT_EQ(FsRead(file, &size, buffer), kEfiSuccess);
  EXPECT_EQ(size, 4u);
  size = sizeof(buffer);
  EXPECT_EQ(FsRead(file, &size, buffer), kEfiDeviceError);
  EXPECT_EQ(size, 0u);
  size = 5;
  EXPECT_EQ(FsWrite(file, &size, "abcde"), kEfiDeviceError);
  EXPECT_EQ(size, 0u);
  size = 5;
  EXPECT_EQ(FsWrite(file, &size, "abcde"), kEfiSuccess);
  EXPECT_EQ(size, 3u);
  (void)FsClose(file);
  (void)FsClose(root);
  EXPECT_EQ(disk.Read("R.BIN"), "0123abc789");
}

TEST_F(SimVolumes, CloseDeleteAndSetInfoFaults) {
  disk.Write("C.BIN", "x");
  disk.Write("FLASHTIMES.TXT", "x");
  sim::Faults faults;
  faults.CloseFailCall = 1;
  faults.CloseFailPath = u"\\efi\\boot\\flashtimes.txt";
  faults.DeleteFailCall = 1;
  faults.SetInfoFailCall = 1;
  BootWith(faults);
  FsFile* root = Root();
  FsFile* file = nullptr;
  ASSERT_EQ(FsOpen(root, &file, u"C.BIN", kFileModeReadWrite, 0), kEfiSuccess);
  EXPECT_EQ(FsSetFileSize(file, 0), kEfiDeviceError);
  EXPECT_EQ(FsClose(file), kEfiDeviceError);  // close #1 fails, the handle is gone all the same
  ASSERT_EQ(FsOpen(root, &file, u"C.BIN", kFileModeReadWrite, 0), kEfiSuccess);
  EXPECT_EQ(FsDelete(file), kEfiWarnDeleteFailure);
  EXPECT_TRUE(disk.Exists("C.BIN"));
  disk.MakeDir("EFI/BOOT");
  disk.Write("EFI/BOOT/FlashTimes.TXT", "1");
  ASSERT_EQ(FsOpen(root, &file, u"\\EFI\\BOOT\\FlashTimes.TXT", kFileModeReadWrite, 0), kEfiSuccess);
  EXPECT_EQ(FsClose(file), kEfiDeviceError);
  EXPECT_EQ(FsClose(root), kEfiSuccess);
  EXPECT_TRUE(sim::TakeAudit().Clean());
}

TEST_F(SimVolumes, UseOfAClosedHandleIsMisuse) {
  BootWith();
  FsFile* root = Root();
  EXPECT_EQ(FsClose(root), kEfiSuccess);
  EXPECT_EQ(FsClose(root), kEfiInvalidParameter);
  sim::Audit audit = sim::TakeAudit();
  EXPECT_EQ(audit.Misuse, 1u);
  EXPECT_FALSE(audit.Clean());
}

TEST_F(SimVolumes, AuditNamesTheFilesLeftOpen) {
  disk.Write("LEAK.BIN", "x");
  BootWith();
  FsFile* root = Root();
  FsFile* file = nullptr;
  ASSERT_EQ(FsOpen(root, &file, u"leak.bin", kFileModeRead, 0), kEfiSuccess);
  (void)FsClose(root);
  sim::Audit audit = sim::TakeAudit();
  EXPECT_EQ(audit.OpenFiles, 1u);
  ASSERT_EQ(audit.Details.size(), 1u);
  EXPECT_EQ(audit.Details[0], "file handle FS0:\\LEAK.BIN not closed");
}

}  // namespace
