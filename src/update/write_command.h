// The Write button: starts one update run on its own thread.
#pragma once

void OnWriteCommand();
