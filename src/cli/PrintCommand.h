#pragma once
// trevanix-cli print --pdf FILE [--dpi N] [--from D] [--to D] [--pid ID] [--opid ID]
//                    [--period WEEKS]
// Writes the printed result list for the rows `trevanix-cli list` shows as a PDF file. Runs its
// own QGuiApplication (offscreen unless a platform is chosen), so call it before any other
// application object exists.
int PrintMain(int argc, char** argv);
