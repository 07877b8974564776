// The installer as the maker runs it: one owned session over the installer's
// process-wide state (the variable table, the install script and its cursors, the
// message responder). Made, used, gone: whatever build, inspect, extract and try ask
// of the installer's own code goes through the one session that is alive.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "package/container.h"

namespace tvpack {

class InstallerSession {
 public:
  // The table holds the built-in folder variables of the platform's folders (as the
  // installer starts); message boxes are collected. A second session while one is
  // alive is a mistake of the maker (std::logic_error).
  InstallerSession();
  // Everything goes: the table, the dialog's title and description, the script (a
  // borrowed one is given back), the responder.
  ~InstallerSession();
  InstallerSession(const InstallerSession&) = delete;
  InstallerSession& operator=(const InstallerSession&) = delete;
  // The installer's state as a new session finds it (the next package of the same
  // command is read as the installer reads its own, afresh): what the destructor lets
  // go goes, and the table holds the built-in folder variables again.
  void start_over();

  // The shell folders (CSIDL -> path) the folder variables take, as a machine's shell
  // gives them.
  void use_shell_folders(const std::map<int, std::u16string>& folders);

  // The script, unpacked from a stored blob as the installer unpacks its own.
  tv::UnpackError unpack(const uint8_t* blob, uint32_t n, uint32_t key);
  // The script the maker has just written, lent for the session's life (the shortcuts
  // check splits its text and puts it back).
  void borrow_script(std::vector<uint8_t>& script);
  // The loading chain of the install dialog on that script: header check, saved
  // cursor, first reading of the variables section. "" when the installer goes on;
  // else why it stops (a refused version leaves the rest readable: version_refused()).
  std::string load();
  int32_t version() const { return version_; }
  bool version_refused() const { return version_refused_; }

  // The install sequence's reading for the chosen folder: "{App}" := folder, the
  // variables section read again. False for a damaged section.
  bool choose_folder(const std::u16string& folder);

  // How long an install folder may be, from the installer's own check of every path
  // (install/path_check.h), made as the install button makes it, right after load():
  // a longer folder is refused. The most the install dialog takes when no path lies
  // below "{App}". Null *refused when the installer accepts the package; else why it
  // refuses it (the damaged-package box) and 0.
  size_t room(std::string* refused);

  // The variable table, as the installer's own readers use it.
  void define(const std::u16string& name, const std::u16string& value_template);
  bool defines(const std::u16string& name) const;
  // templ expanded with the current table, or nothing where the installer's own
  // expansion gives none.
  std::optional<std::u16string> expand(const std::u16string& templ) const;
  // Why templ does not expand ("" when it does): an unclosed "{", an unknown variable,
  // or its length.
  std::string expansion_problem(const std::u16string& templ) const;

  // The installer's message boxes so far, in order.
  const std::vector<std::u16string>& messages() const { return messages_; }
  // why, and the first message the installer showed for it:
  // why + ' (the installer shows "..." and stops)'; why alone when it showed none.
  std::string explained(const std::string& why) const;

 private:
  bool owned_ = false, borrowed_ = false;
  int32_t version_ = 0;
  bool version_refused_ = false;
  std::vector<std::u16string> messages_;
  std::u16string folder_;
};

// The folders the user owns, while a session is alive: the shell folder variable
// ("{Desktop}", ...) whose folder holds path, the longest one; "" when none. *value
// gets that folder's path.
std::u16string shell_folder_of(const std::u16string& path, std::u16string* value);
// path with a shell folder's path written as its variable ("{Desktop}\\x.lnk").
std::u16string with_folder_names(const std::u16string& path);
// How many leading names of path the user's own folders give: app's (the install
// folder), or the shell folder's that holds it, the longer.
size_t own_folder_names(const std::u16string& path, const std::u16string& app);
// The first name of path that Windows cannot hold, "" when none; the user's own
// folders' names pass, as in the installer.
std::u16string unholdable_name(const std::u16string& path, const std::u16string& app);

}  // namespace tvpack
