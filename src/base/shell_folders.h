// The shell's folders by CSIDL number, named once for installer, maker and tests: the
// folder variables with the folder each is given, and the folders the shell keeps for
// the user or the system (the installer's own check keeps an install out of them).
// tests/e2e reads the numbers and the folder variables' table from this file.
#pragma once
#include <cstdint>

namespace tv {

enum Csidl : uint8_t {
  kCsidlDesktop = 0x00,
  kCsidlPrograms = 0x02,
  kCsidlPersonal = 0x05,
  kCsidlFavorites = 0x06,
  kCsidlStartup = 0x07,
  kCsidlSendTo = 0x09,
  kCsidlStartMenu = 0x0B,
  kCsidlMyMusic = 0x0D,
  kCsidlMyVideo = 0x0E,
  kCsidlDesktopDirectory = 0x10,
  kCsidlFonts = 0x14,
  kCsidlTemplates = 0x15,
  kCsidlCommonStartMenu = 0x16,
  kCsidlCommonPrograms = 0x17,
  kCsidlCommonDesktopDirectory = 0x19,
  kCsidlAppData = 0x1A,
  kCsidlLocalAppData = 0x1C,
  kCsidlCommonAppData = 0x23,
  kCsidlWindows = 0x24,
  kCsidlSystem = 0x25,
  kCsidlProgramFiles = 0x26,
  kCsidlMyPictures = 0x27,
  kCsidlProfile = 0x28,
  kCsidlSystemX86 = 0x29,
  kCsidlProgramFilesX86 = 0x2A,
  kCsidlProgramFilesCommon = 0x2B,
  kCsidlProgramFilesCommonX86 = 0x2C,
  kCsidlCommonDocuments = 0x2E,
};

struct FolderVariable {
  const char16_t* name;
  uint8_t csidl;
};

// The folder variables, in the order the installer sets them; a value is the path the
// shell gives for the CSIDL.
constexpr FolderVariable kFolderVariableList[] = {
    {u"{AppData}", kCsidlAppData},
    {u"{StartMenu}", kCsidlStartMenu},
    {u"{Programs}", kCsidlPrograms},
    {u"{CommonPrograms}", kCsidlCommonPrograms},
    {u"{Desktop}", kCsidlDesktop},
};
constexpr unsigned kFolderVariables = sizeof kFolderVariableList / sizeof kFolderVariableList[0];

// The folders the shell keeps for the user or the system that a CSIDL names: the
// profile and its folders, the common ones, Windows', the program files (a 32-bit
// program is told the 32-bit ones). The installer adds the downloads, the profiles'
// and the public folders, which only known-folder ids name.
constexpr uint8_t kOwnFolderCsidls[] = {
    kCsidlProfile,         kCsidlDesktopDirectory,   kCsidlPersonal,
    kCsidlMyPictures,      kCsidlMyMusic,            kCsidlMyVideo,
    kCsidlFavorites,       kCsidlAppData,            kCsidlLocalAppData,
    kCsidlStartMenu,       kCsidlPrograms,           kCsidlStartup,
    kCsidlSendTo,          kCsidlTemplates,          kCsidlCommonAppData,
    kCsidlCommonDesktopDirectory,                    kCsidlCommonDocuments,
    kCsidlCommonStartMenu, kCsidlCommonPrograms,     kCsidlWindows,
    kCsidlSystem,          kCsidlSystemX86,          kCsidlFonts,
    kCsidlProgramFiles,    kCsidlProgramFilesX86,    kCsidlProgramFilesCommon,
    kCsidlProgramFilesCommonX86,
};

}  // namespace tv
