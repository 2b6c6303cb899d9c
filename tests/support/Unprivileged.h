// Tests of what file permissions refuse. Root passes every permission check,
// so run as root (as CI runs) such a test would prove nothing; instead it runs
// itself again in a child process under an unprivileged account.
#pragma once

namespace miniskop {

// As root: runs the calling test again in a child process as the account
// "nobody" (a copy of the test program in a folder that account can read),
// reports the child's failures as this test's, and returns true; the caller
// then returns. For any other user: returns false, and the caller goes on to
// check for itself.
bool rerunAsUnprivilegedUser();

}  // namespace miniskop
