#CUPS-COMMAND
ReportLevels
