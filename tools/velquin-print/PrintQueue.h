#pragma once
// The "Velquin-Fax" CUPS print queue: its backend and PPD put in place and the queue added
// with lpadmin. Both return the exit code of the command.
int InstallPrintQueue();
int RemovePrintQueue();
