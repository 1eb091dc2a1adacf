#pragma once
#include <exception>
#include <string>

/// Runs `body` and hands the text of any exception it lets out to `failed`, so that none
/// leaves the thread function it runs in: one that does ends the whole program. Every
/// thread function of the program runs its work through this.
template <class Body, class Failed>
void RunGuarded(Body&& body, Failed&& failed) noexcept
{
    try {
        body();
    } catch (const std::exception& error) {
        failed(std::string(error.what()));
    } catch (...) {
        failed(std::string("unknown exception"));
    }
}
