// What native builds may set in place of the Windows system's answers (tests do).
#pragma once

void SysPosixSetModulePath(const char* path);
void SysPosixSetAppDataFolder(const char* path);
void SysPosixSetWorkArea(int width, int height);
void SysPosixSetScreenSize(int width, int height);
void SysPosixSetSystemLanguage(unsigned language);
