// appendVisible: text bound for a line of the console or the decision log,
// with every control byte written as \xNN. Header values arrive
// percent-decoded, so any byte may reach such a line; this way a line break
// can never split one record into several or forge another, and nothing
// invisible hides in it. Stateless; any thread may call it.
#ifndef QUORVANTEL_CORE_VISIBLETEXT_H_
#define QUORVANTEL_CORE_VISIBLETEXT_H_

#include <string>

// Appends `text` to `line`, control bytes (below 0x20, and 0x7f) escaped.
void appendVisible(std::string& line, const std::string& text);

#endif  // QUORVANTEL_CORE_VISIBLETEXT_H_
