// The answer of one poll of runClosure: done, failed, or not done yet.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/error.h"

#include <optional>

class MARROWKIT_EXPORT RunResult
{
public:
    enum class Kind { Success, Failure, Waiting };

    static RunResult success() { return RunResult(Kind::Success, {}); }
    static RunResult failure(Error error) { return RunResult(Kind::Failure, std::move(error)); }
    static RunResult waiting() { return RunResult(Kind::Waiting, {}); }

    Kind kind() const { return m_kind; }
    bool isSuccess() const { return m_kind == Kind::Success; }
    bool isFailure() const { return m_kind == Kind::Failure; }
    bool isWaiting() const { return m_kind == Kind::Waiting; }
    // The error of a Failure; nothing for the other cases.
    std::optional<Error> error() const { return m_error; }

    // ".Success", ".Failure(<error>)" or ".Waiting".
    QString description() const;

    friend bool operator==(const RunResult &, const RunResult &) = default;

private:
    RunResult(Kind kind, std::optional<Error> error) : m_kind(kind), m_error(std::move(error)) {}

    Kind m_kind;
    std::optional<Error> m_error;
};
