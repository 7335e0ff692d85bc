#pragma once
// The one version string of the three programs and the package: the project version, and the
// commit when built from a git checkout (e.g. "0.1.0+git146.gbc31efc").

namespace kadex {

const char* VersionString();

} // namespace kadex
