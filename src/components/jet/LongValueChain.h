// A long value's chain of pages, followed from the row that holds its reference.
#pragma once

#include "components/jet/PageAccount.h"
#include "components/jet/Reader.h"

namespace Jet::Detail {

// Checks the long value whose reference is `value`, a field of the row at `where`: every page
// it leads to is referred to in `account`; throws Damage when it leads nowhere or round in a
// loop, or holds more than its row, and NotChecked when it is stored in a way not known.
void CheckLongValue(Pages& pages, const Format& f, PageAccount& account, Bytes value,
                    const Where& where);

}  // namespace Jet::Detail
