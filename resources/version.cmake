# The one place that holds the plug-in's version information. The revision is
# raised with every release build; the title is the application title that the
# password encoding uses as its key, so it must stay "OrvexFTP".
set(ORVEX_VERSION_MAJOR 2)
set(ORVEX_VERSION_MINOR 0)
set(ORVEX_VERSION_REVISION 1)
set(ORVEX_APPLICATION_TITLE "OrvexFTP")
set(ORVEX_COMPANY "Orvex Software")
set(ORVEX_AUTHOR "The OrvexFTP developers")
set(ORVEX_WEB_ADDRESS "https://orvex.example/ftp")
set(ORVEX_COPYRIGHT "Copyright (c) 2026 Orvex Software")
