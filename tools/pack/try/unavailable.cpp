// talvenor-pack try in the Windows maker: it runs installers under Wine, which the
// Linux maker does; this one says so.
#include "common/errors.h"
#include "try/try.h"

namespace tvpack {

int try_installer(const TryOptions&, std::ostream&, std::ostream& err) {
  tell(err, "try runs on Linux (it runs the installer under Wine); use the Linux maker");
  return 2;
}

}  // namespace tvpack
