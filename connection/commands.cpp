// The host's commands: the about box, the options dialog, the properties
// dialog of a new location, and the context command of the descriptor.

#include "connection/connection.h"
#include "platform/error.h"

namespace orvex {

Variant Connection::iPC_ExecuteCommand(const com::ComPtr<ContextCommand>&, const Variant&, const Variant&,
                                       const Variant&) {
  return Variant();
}

}  // namespace orvex
