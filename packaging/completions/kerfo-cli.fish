# fish completion for kerfo-cli: commands, options, and for the files .txt for encrypt,
# .kfo for decrypt and show, anything for check; directories always.

# The files under the current token whose names end in $suffix (any case), and directories.
function __kerfo_cli_files --argument-names suffix
    set -l token (commandline -ct)
    for path in $token*
        if test -d $path
            echo $path/
        else if string match -qi -- "*$suffix" $path
            echo $path
        end
    end
end

set -l commands encrypt decrypt show check
complete -c kerfo-cli -f

complete -c kerfo-cli -n "not __fish_seen_subcommand_from $commands" -a encrypt -d 'Replace a plain file by its .kfo file'
complete -c kerfo-cli -n "not __fish_seen_subcommand_from $commands" -a decrypt -d 'Replace an encrypted file by its .txt file'
complete -c kerfo-cli -n "not __fish_seen_subcommand_from $commands" -a show -d 'Print an encrypted file\'s text'
complete -c kerfo-cli -n "not __fish_seen_subcommand_from $commands" -a check -d 'Say which job a file would get'

complete -c kerfo-cli -l password-stdin -d 'Read the password from standard input'
complete -c kerfo-cli -l password-fd -x -d 'Read the password from a file descriptor'
complete -c kerfo-cli -l password-file -r -F -d 'Read the password from a private file'
complete -c kerfo-cli -l allow-empty-password -d 'Accept an empty password'
complete -c kerfo-cli -s q -l quiet -d 'Show no progress bar'
complete -c kerfo-cli -l help -d 'Print the help and exit'
complete -c kerfo-cli -l version -d 'Print the version and exit'

complete -c kerfo-cli -n "__fish_seen_subcommand_from encrypt" -a "(__kerfo_cli_files .txt)"
complete -c kerfo-cli -n "__fish_seen_subcommand_from decrypt show" -a "(__kerfo_cli_files .kfo)"
complete -c kerfo-cli -n "__fish_seen_subcommand_from check" -F
