#include "desktop/model/page_parameters.hpp"

namespace folvane {

void storeShownPosition(PageParameters& p) {
    if (p.applyToAll)
        p.allOdd = p.shown;
    else
        p.even = p.shown;
}

} // namespace folvane
