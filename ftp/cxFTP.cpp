#include "ftp/cxFTP.h"

namespace orvex {

cxFTP::~cxFTP() { Disconnect(); }

void cxFTP::Disconnect() {
  hConnection_ = 0;
  hOpen_ = 0;
}

}  // namespace orvex
