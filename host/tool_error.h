// The tool's failures: one message, shown as one line on standard error.
#ifndef QVT_HOST_TOOL_ERROR_H
#define QVT_HOST_TOOL_ERROR_H

#include <stdexcept>
#include <string>

namespace qvt::host {

class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace qvt::host

#endif
