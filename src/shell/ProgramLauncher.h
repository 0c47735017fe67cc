#pragma once

#include <QString>

namespace vk {

// Starts program detached from the link with parameters as its one parameter string, exactly as
// it stands: no splitting at blanks, no quotes taken away, no shell. The updater gets the
// download's path between apostrophes that way, whatever characters the path holds. False when
// the program could not be started.
bool startWithParameterString(const QString& program, const QString& parameters);

}  // namespace vk
