#pragma once

#include <QStringList>

namespace plovern::test {

// What "Set Time" says of each empty field, in the order of the controls.
inline const QStringList kMissingFieldMessages{
    "Please Enter in a Source to copy !",
    "Please Enter in a Destination location !",
    "Please Enter in a Hour !",
    "Please Enter in a Minute !",
    "Please Enter in a Second !",
    "Please Enter in a AM or PM !",
    "Please Enter in a Day !",
};

} // namespace plovern::test
