#include "comm/live_store.h"

namespace orlix {

std::string OilFlagText(int b) {
    std::string s = (b & 0x80) ? ">Ps" : "Nl";
    s += (b & 0x40) ? "/Qt" : "/Nl";
    return s;
}

}  // namespace orlix
