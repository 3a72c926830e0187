#include "Marrowkit/foundation/runresult.h"

QString RunResult::description() const
{
    switch (m_kind) {
    case Kind::Success:
        return QStringLiteral(".Success");
    case Kind::Failure:
        return QStringLiteral(".Failure(") + m_error->description() + QLatin1Char(')');
    case Kind::Waiting:
        return QStringLiteral(".Waiting");
    }
    return {};
}
