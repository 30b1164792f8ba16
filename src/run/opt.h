// The switch parser: the only writer of the settings.
#pragma once

// Handles one switch, the whole argument with its leading "-" or "/": a letter, upper or
// lower case, and a value text. A letter it does not know draws "\n illegal Option.\n".
void opt(char* argument);
