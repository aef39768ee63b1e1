// What recover prints: readable text, or one JSON object that also carries
// every row left out of the new store.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_PRINTING_RECOVER_REPORT_H_
#define DATABASE_INTERFACE_TOOLS_DBI_PRINTING_RECOVER_REPORT_H_

#include <ostream>
#include <string>

#include "recover/recovered_store.h"

namespace dbi {

struct RecoverSettings {
  std::string file;
  std::string output;
  bool written = false;  // whether the output file was made
};

void PrintRecoverText(std::ostream& out, const RecoverReport& report,
                      const RecoverSettings& settings);
void PrintRecoverJson(std::ostream& out, const RecoverReport& report,
                      const RecoverSettings& settings);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_PRINTING_RECOVER_REPORT_H_
