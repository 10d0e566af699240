#pragma once
// The failures the library raises:
//
//   std::bad_alloc         memory  (std::length_error is of the same kind)
//   FileFailure            a file that cannot be opened, read or written
//   std::out_of_range      a character position outside its string
//   FatalSetting           a run parameter no operation can work with
//   EncodingFailure        a data file in an encoding its layout cannot be read in
//   std::invalid_argument  an input whose sizes do not fit together
//   Cancelled              the observer asked to stop (observer.hpp)

#include <exception>
#include <ios>
#include <string>
#include <utility>

namespace tavrel {

// std::ios_base::failure whose file name is kept apart: libstdc++'s what()
// appends its own text to the message.
class FileFailure : public std::ios_base::failure {
public:
    explicit FileFailure(std::string fileName)
        : std::ios_base::failure(fileName), fileName_(std::move(fileName)) {}
    const std::string& fileName() const noexcept { return fileName_; }

private:
    std::string fileName_;
};

// A setting that makes the run impossible; the text is the Error line's body.
class FatalSetting : public std::exception {
public:
    explicit FatalSetting(const char* text) : text_(text) {}
    const char* what() const noexcept override { return text_; }

private:
    const char* text_;
};

// A UTF-16 response file in fixed columns: columns count bytes, which UTF-16
// text does not have one per character. The text is the Error line's body.
class EncodingFailure : public std::exception {
public:
    explicit EncodingFailure(std::string fileName)
        : fileName_(std::move(fileName)),
          text_("File \"" + fileName_ + "\" is UTF-16; fixed columns are read from single-byte text.") {}
    const std::string& fileName() const noexcept { return fileName_; }
    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::string fileName_;
    std::string text_;
};

}  // namespace tavrel
