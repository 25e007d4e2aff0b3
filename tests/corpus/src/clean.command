#CUPS-COMMAND
Clean all
