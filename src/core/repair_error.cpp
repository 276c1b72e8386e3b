#include "core/repair_error.h"

namespace plomet {

std::string RepairError::display_text() const {
  switch (kind) {
    case Kind::UnexpectedEOF: return "UnexpectedEOF";
    case Kind::UnexpectedToken: return "UnexpectedToken";
    case Kind::InvalidToken: return "InvalidToken: " + payload;
    case Kind::InvalidNumber: return "InvalidNumber: " + payload;
    case Kind::FailedToParseRepairedJson: return "FailedToParseRepairedJson";
    case Kind::Unrepairable: return "Unrepairable: " + payload;
    case Kind::AllAttemptedRepairsFailed: return "AllAttemptedRepairsFailed";
    case Kind::CouldNotConvertTheOutputOfDuplicateQuoteRemovalToJson:
      return "CouldNotConvertTheOutputOfDuplicateQuoteRemovalToJson";
    case Kind::SerdeParseError: return "SerdeParseError";
    case Kind::Interrupted: return "Interrupted";
  }
  return "AllAttemptedRepairsFailed";
}

}  // namespace plomet
