"""zar.ZarError: a report of the library, raised by the operation that made it."""


class ZarError(Exception):
    """A report of the zar library.

    status   -- the status code (negative), e.g. -5 for a bad argument
    message  -- the library's text for the status
    function -- the library function that reported, e.g. "zarBlur"
    context  -- the failed condition or a description, e.g. "(anchorX>=nCols||anchorY>=nRows)"
    file     -- the library source that reported, e.g. "zarBlur"
    line     -- the line of that report
    """

    def __init__(self, status, message, function, context, file, line):
        super().__init__(status, message, function, context, file, line)
        self.status = status
        self.message = message
        self.function = function
        self.context = context
        self.file = file
        self.line = line

    def __str__(self):
        where = f" ({self.context})" if self.context else ""
        return f"{self.function}: {self.message}{where} [status {self.status}, {self.file}:{self.line}]"
