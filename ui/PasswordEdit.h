#pragma once

class QLineEdit;

/// Makes `edit` a password edit that shows one "*" per character, whatever mask the style
/// would draw. The style object belongs to the edit's window (a widget does not own its
/// style), so it lives as long as the edit does.
void UseStarPasswordEcho(QLineEdit* edit);
