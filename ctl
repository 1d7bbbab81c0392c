restart
