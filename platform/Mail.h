#pragma once

#include <functional>
#include <string>
#include <vector>

// Runs a program with arguments without waiting for it, and calls finished exactly once, on
// the event loop, with true when the program started and exited normally with status 0.
// The mail command takes one as a parameter so that tests can stand in for the real program.
using ProgramRunner =
    std::function<void(const std::string& program, const std::vector<std::string>& arguments,
                       std::function<void(bool succeeded)> finished)>;

// The runner of the desktop program: a QProcess looked up on PATH, its output discarded.
// A program that cannot be started counts as a failure. Needs a running Qt event loop for
// finished to be called.
void runProgram(const std::string& program, const std::vector<std::string>& arguments,
                std::function<void(bool succeeded)> finished);

// The mail program: xdg-email, which opens the user's own mail composer.
inline constexpr const char* MailProgram = "xdg-email";

// The arguments that open a new message with this body and no subject, recipients or
// attachments: one "mailto:?body=" address with the body percent-encoded byte for byte, line
// breaks as %0D%0A. xdg-email's own --body option would pass the text through the shell's echo,
// which turns backslash sequences into control characters and ends the text at "\c"; an
// address is handed on untouched.
std::vector<std::string> mailArguments(const std::string& body);

// The longest argument that the mail program is given, in bytes. Linux takes at most 128 KiB
// for one argument (terminating zero included); the margin leaves room for a mail program
// that hands the address on inside an option of its own.
inline constexpr std::size_t MaxMailArgumentBytes = 128 * 1024 - 4096;

// Whether the argument that mailArguments makes of this body stays within
// MaxMailArgumentBytes; measured on the encoded address itself.
bool mailBodyFits(const std::string& body);

// Opens a new message holding body in the user's mail composer. finished(false) when the mail
// program is missing or reports a failure, which includes the user abandoning the message
// where the mail program can tell.
void sendMail(const std::string& body, std::function<void(bool sent)> finished,
              const ProgramRunner& runner = runProgram);
