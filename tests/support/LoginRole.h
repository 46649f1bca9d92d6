#pragma once

#include <string>

namespace vireo::testing {

class TestDataSource;

/// A login role of its own on the test PostgreSQL server, made through the
/// connection of `source` (a UTF-8 database), whose password is
/// `windows1252Password` as the program holds it: the server keeps its UTF-8
/// text. Dropped when the object goes.
class LoginRole {
public:
    LoginRole(const TestDataSource& source, const std::string& windows1252Password);
    ~LoginRole();
    LoginRole(const LoginRole&) = delete;
    LoginRole& operator=(const LoginRole&) = delete;

    const std::string& Name() const noexcept { return name_; }

private:
    const TestDataSource& source_;
    std::string name_;
};

}  // namespace vireo::testing
