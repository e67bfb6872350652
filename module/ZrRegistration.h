#pragma once
// Announcing the plug-ins to the host: one key per plug-in below "Plugins\RemoteControl" of the
// host's registry area, reached only through the tools library's host registry keys.

// Walks the factory's plug-in types and writes (or removes) their keys. Reports nothing: a key
// that cannot be opened leaves that plug-in as it was, and the walk goes on.
void ZrRegisterPlugins(bool doRegister);
