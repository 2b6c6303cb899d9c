// Small result types that carry an error explicitly instead of throwing.
// Expected<T, E> holds either a value or an error; Status is the value-less form.
#pragma once

#include <QString>
#include <QtGlobal>
#include <utility>
#include <variant>

namespace miniskop {

// The error most of the program passes around: a readable message. A picture
// refused because decoding it would take more memory than allowed also
// carries both amounts, so that each front end can say so in its own words.
struct Failure {
    QString message;
    qint64 neededBytes = 0;
    qint64 allowedBytes = 0;  // above 0 only for such a refusal

    bool tooLarge() const { return allowedBytes > 0; }
};

template <class E>
struct Unexpected {
    E error;
};

template <class E>
Unexpected<std::decay_t<E>> unexpected(E&& e) {
    return {std::forward<E>(e)};
}

inline Unexpected<Failure> fail(const QString& message) { return {Failure{message}}; }

template <class T, class E = Failure>
class Expected {
public:
    Expected(T value) : v_(std::in_place_index<0>, std::move(value)) {}
    Expected(Unexpected<E> e) : v_(std::in_place_index<1>, std::move(e.error)) {}

    bool has_value() const { return v_.index() == 0; }
    explicit operator bool() const { return has_value(); }

    T& value() & { return std::get<0>(v_); }
    const T& value() const& { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const E& error() const { return std::get<1>(v_); }

private:
    std::variant<T, E> v_;
};

template <class E = Failure>
class BasicStatus {
public:
    BasicStatus() = default;  // success
    BasicStatus(Unexpected<E> e) : ok_(false), error_(std::move(e.error)) {}

    static BasicStatus success() { return {}; }
    bool ok() const { return ok_; }
    explicit operator bool() const { return ok_; }
    const E& error() const { return error_; }

private:
    bool ok_ = true;
    E error_{};
};

using Status = BasicStatus<Failure>;

}  // namespace miniskop
