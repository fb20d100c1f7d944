#pragma once

#include <QString>

namespace plovern {

// The desktop's "open" action: hands a document, folder or web address to the
// system's default handler. Whether anything opened is not reported.
class Shell
{
public:
    virtual ~Shell() = default;
    virtual void open(const QString& target) = 0;
};

class DesktopShell final : public Shell
{
public:
    void open(const QString& target) override;
};

} // namespace plovern
